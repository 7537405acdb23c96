#include "encode/base64.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace lsmtp {
namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of every 12-bit value, as they lie in memory, so that
// a group takes two lookups and one store instead of four of each.
constexpr std::uint16_t in_memory_order(char first, char second)
{
    const auto a = static_cast<std::uint16_t>(static_cast<unsigned char>(first));
    const auto b = static_cast<std::uint16_t>(static_cast<unsigned char>(second));
    return std::endian::native == std::endian::little ? static_cast<std::uint16_t>(a | b << 8)
                                                      : static_cast<std::uint16_t>(a << 8 | b);
}

constexpr std::array<std::uint16_t, 4096> make_pair_table()
{
    std::array<std::uint16_t, 4096> table{};
    for (std::size_t value = 0; value < 4096; ++value)
        table[value] = in_memory_order(alphabet[value >> 6], alphabet[value & 63]);
    return table;
}
constexpr std::array<std::uint16_t, 4096> pair_table = make_pair_table();

constexpr std::uint32_t join_pairs(std::uint16_t first, std::uint16_t second)
{
    return std::endian::native == std::endian::little ? first | std::uint32_t{second} << 16
                                                      : std::uint32_t{first} << 16 | second;
}

constexpr std::size_t line_bytes = base64_line_bytes;  // 19 groups

} // namespace

std::size_t encode_base64_lines(const unsigned char *source, std::size_t length, char *out)
{
    char *const start = out;
    while (length > 0) {
        const std::size_t in_line = std::min(length, line_bytes);
        const unsigned char *const line_end = source + in_line;
        for (; line_end - source >= 3; source += 3, out += 4)
            encode_group(source[0], source[1], source[2], 0, out);
        if (source != line_end) {
            const bool two = line_end - source == 2;
            encode_group(source[0], two ? source[1] : 0, 0, two ? 1 : 2, out);
            source = line_end;
            out += 4;
        }
        *out++ = '\r';
        *out++ = '\n';
        length -= in_line;
    }
    return static_cast<std::size_t>(out - start);
}

void encode_group(unsigned char first, unsigned char second, unsigned char third, int pad_count, char *out)
{
    const unsigned bits = (unsigned{first} << 16) | (unsigned{second} << 8) | third;
    const std::uint32_t four = join_pairs(pair_table[bits >> 12], pair_table[bits & 0xFFF]);
    std::memcpy(out, &four, 4);
    // Missing bytes came in as 0, so the characters kept are already right.
    if (pad_count >= 1)
        out[3] = '=';
    if (pad_count == 2)
        out[2] = '=';
}

std::string encode_base64(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t at = 0; at < bytes.size(); at += 3) {
        const std::size_t left = bytes.size() - at;
        const auto byte = [&](std::size_t i) { return i < left ? static_cast<unsigned char>(bytes[at + i]) : 0; };
        char group[4];
        encode_group(byte(0), byte(1), byte(2), left >= 3 ? 0 : static_cast<int>(3 - left), group);
        out.append(group, 4);
    }
    return out;
}

} // namespace lsmtp
