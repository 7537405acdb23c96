#include "pieces.h"

#include <cstdio>
#include <cstdlib>

namespace lsmtp::fuzz {

void fail(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

} // namespace lsmtp::fuzz
