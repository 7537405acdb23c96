#include "encode/base64.h"

#include "platform/clock.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>

namespace lsmtp {
namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of every 12-bit value, so that a group takes two
// lookups instead of four shifts and masks per character.
constexpr std::array<char, 2 * 4096> make_pair_table()
{
    std::array<char, 2 * 4096> table{};
    for (std::size_t value = 0; value < 4096; ++value) {
        table[2 * value] = alphabet[value >> 6];
        table[2 * value + 1] = alphabet[value & 63];
    }
    return table;
}
constexpr std::array<char, 2 * 4096> pair_table = make_pair_table();

constexpr std::size_t line_bytes = 57;  // 19 groups
constexpr std::size_t line_chars = 76;
constexpr std::size_t lines_per_pause = 100;
constexpr std::size_t chunk_bytes = line_bytes * lines_per_pause;               // 5,700
constexpr std::size_t chunk_chars = (line_chars + 2) * lines_per_pause;         // 7,800
constexpr std::size_t chunks_per_read = 4;

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
    std::memcpy(out, &pair_table[2 * (bits >> 12)], 2);
    if (pad_count == 0) {
        std::memcpy(out + 2, &pair_table[2 * (bits & 0xFFF)], 2);
        return;
    }
    out[2] = pad_count == 1 ? pair_table[2 * (bits & 0xFFF)] : '=';
    out[3] = '=';
}

Base64Result encode_file_base64(platform::File &source, platform::File &destination)
{
    // Whole chunks of 100 lines, so that every pause falls on a chunk's end.
    unsigned char input[chunk_bytes * chunks_per_read];
    char output[chunk_chars];
    for (;;) {
        const Filled filled = fill(source, input, sizeof input);
        for (std::size_t offset = 0; offset < filled.count; offset += chunk_bytes) {
            const std::size_t length = std::min(chunk_bytes, filled.count - offset);
            if (!destination.write(output, encode_lines(input + offset, length, output)))
                return Base64Result::write_failed;
            if (length == chunk_bytes)
                platform::pause_milliseconds(1);
        }
        if (filled.failed)
            return Base64Result::read_failed;
        if (filled.count < sizeof input)
            return Base64Result::ok;
    }
}

} // namespace lsmtp
