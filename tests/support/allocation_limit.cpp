#include "allocation_limit.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool limited = false;
thread_local std::size_t allocations_left = 0;

} // namespace

namespace lsmtp::test {

AllocationLimit::AllocationLimit(std::size_t allowed)
{
    allocations_left = allowed;
    limited = true;
}

AllocationLimit::~AllocationLimit() { limited = false; }

} // namespace lsmtp::test

void *operator new(std::size_t size)
{
    if (limited) {
        if (allocations_left == 0)
            throw std::bad_alloc();
        --allocations_left;
    }
    if (void *memory = std::malloc(size == 0 ? 1 : size))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void *memory) noexcept { std::free(memory); }
void operator delete(void *memory, std::size_t) noexcept { std::free(memory); }
