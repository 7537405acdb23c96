// Running out of memory on purpose: the test binary's operator new fails
// once the calling thread has made a given number of allocations.
#pragma once

#include <cstddef>

namespace lsmtp::test {

// While it lives, the calling thread may allocate `allowed` more times; the
// allocation after those throws std::bad_alloc, and so does every later one
// until the object is destroyed. Other threads are never limited.
class AllocationLimit {
public:
    explicit AllocationLimit(std::size_t allowed);
    ~AllocationLimit();
    AllocationLimit(const AllocationLimit &) = delete;
    AllocationLimit &operator=(const AllocationLimit &) = delete;
};

} // namespace lsmtp::test
