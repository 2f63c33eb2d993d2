// Counts heap allocations made through operator new in this test program.
#ifndef COOLWARM_TEST_ALLOCATION_COUNTER_H
#define COOLWARM_TEST_ALLOCATION_COUNTER_H

#include <atomic>
#include <cstdlib>
#include <new>

inline std::atomic<long>& allocationCount()
{
    static std::atomic<long> count{0};
    return count;
}

void* operator new(std::size_t size)
{
    allocationCount().fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

#endif
