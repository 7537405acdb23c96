#include "encode/base64.h"

#include "platform/clock.h"

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

constexpr std::size_t line_bytes = 57;  // 19 groups
constexpr std::size_t line_chars = 76;
constexpr std::size_t lines_per_pause = 100;
constexpr std::size_t chunk_bytes = line_bytes * lines_per_pause;               // 5,700
constexpr std::size_t chunk_chars = (line_chars + 2) * lines_per_pause;         // 7,800
constexpr std::size_t chunks_per_block = 4;

// Encodes `length` bytes (at most one chunk) as lines, each followed by
// CR LF; the last group is padded when the bytes run out inside it.
// Returns the characters written to `out`.
std::size_t encode_lines(const unsigned char *source, std::size_t length, char *out)
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

struct Filled {
    std::size_t count = 0;
    bool failed = false;
};

// Reads until the buffer is full, the source ends or a read fails.
Filled fill(platform::File &source, unsigned char *buffer, std::size_t capacity)
{
    Filled filled;
    while (filled.count < capacity) {
        const long got = source.read(reinterpret_cast<char *>(buffer) + filled.count, capacity - filled.count);
        if (got <= 0) {
            filled.failed = got < 0;
            break;
        }
        filled.count += static_cast<std::size_t>(got);
    }
    return filled;
}

} // namespace

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

Base64Result encode_file_base64(platform::File &source, platform::File &destination,
                                const std::function<void(std::size_t)> &on_written)
{
    // Whole chunks of 100 lines per block, so that a pause always falls on a
    // chunk's end. The block's text is written after its last chunk, as a
    // buffered stream would hold it; the pauses keep their place in the
    // sequence of lines.
    unsigned char input[chunk_bytes * chunks_per_block];
    char output[chunk_chars * chunks_per_block];
    for (;;) {
        const Filled filled = fill(source, input, sizeof input);
        std::size_t written = 0;
        for (std::size_t offset = 0; offset < filled.count; offset += chunk_bytes) {
            const std::size_t length = std::min(chunk_bytes, filled.count - offset);
            written += encode_lines(input + offset, length, output + written);
            if (length == chunk_bytes)
                platform::pause_milliseconds(1);
        }
        if (!destination.write(output, written))
            return Base64Result::write_failed;
        if (on_written)
            on_written(written);
        if (filled.failed)
            return Base64Result::read_failed;
        if (filled.count < sizeof input)
            return Base64Result::ok;
    }
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
