// Turns one fuzzer input into text cut into pieces, so that a harness can
// feed the same bytes whole and piecemeal.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lsmtp::fuzz {

// The piece lengths come from the end of the input and the text from the
// front, so a mutation of the text keeps the cuts where they were.
inline std::vector<std::string> cut_into_pieces(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    std::vector<std::string> pieces;
    while (input.remaining_bytes() > 0) {
        const auto length = input.ConsumeIntegralInRange<std::size_t>(1, 64);
        pieces.push_back(input.ConsumeBytesAsString(length));
    }
    return pieces;
}

inline std::string joined(const std::vector<std::string> &pieces)
{
    std::string whole;
    for (const std::string &piece : pieces)
        whole += piece;
    return whole;
}

// Stops the fuzzer with the input saved when a property does not hold;
// unlike assert, it stays on in optimised builds.
#define LSMTP_FUZZ_CHECK(condition)                                                                                  \
    do {                                                                                                             \
        if (!(condition))                                                                                            \
            ::lsmtp::fuzz::fail(#condition, __FILE__, __LINE__);                                                     \
    } while (0)

[[noreturn]] void fail(const char *condition, const char *file, int line);

} // namespace lsmtp::fuzz
