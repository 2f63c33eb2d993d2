// Counts heap allocations made through operator new in this test program and,
// on Windows, through the C runtime by the libraries the test names.
#ifndef COOLWARM_TEST_ALLOCATION_COUNTER_H
#define COOLWARM_TEST_ALLOCATION_COUNTER_H

#include "loader.h"

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

#if defined(_WIN32)
// A DLL carries its own C++ runtime, whose operator new is not this program's:
// its allocations are counted where they reach the C runtime's allocator.
namespace allocation_counter {
typedef void*(__cdecl* MallocFn)(std::size_t);
typedef void*(__cdecl* CallocFn)(std::size_t, std::size_t);
typedef void*(__cdecl* ReallocFn)(void*, std::size_t);
inline MallocFn realMalloc = nullptr;
inline CallocFn realCalloc = nullptr;
inline ReallocFn realRealloc = nullptr;

inline void* __cdecl countingMalloc(std::size_t n)
{
    allocationCount().fetch_add(1, std::memory_order_relaxed);
    return realMalloc(n);
}
inline void* __cdecl countingCalloc(std::size_t n, std::size_t size)
{
    allocationCount().fetch_add(1, std::memory_order_relaxed);
    return realCalloc(n, size);
}
inline void* __cdecl countingRealloc(void* p, std::size_t n)
{
    allocationCount().fetch_add(1, std::memory_order_relaxed);
    return realRealloc(p, n);
}

template <class Fn>
bool patch(void* module, const char* name, Fn replacement, Fn& real)
{
    void* original = loader::patchImport(module, "msvcrt.dll", name, reinterpret_cast<void*>(replacement));
    if (original && !real)
        real = reinterpret_cast<Fn>(original);
    return original != nullptr;
}
}  // namespace allocation_counter

// Counts what `module` allocates through the C runtime from now on; false when
// it imports no malloc (and so cannot allocate through it).
inline bool countAllocationsIn(void* module)
{
    namespace ac = allocation_counter;
    const bool counted = ac::patch(module, "malloc", &ac::countingMalloc, ac::realMalloc);
    ac::patch(module, "calloc", &ac::countingCalloc, ac::realCalloc);
    ac::patch(module, "realloc", &ac::countingRealloc, ac::realRealloc);
    return counted;
}
#else
// Every library's operator new is this program's: nothing more to watch.
inline bool countAllocationsIn(void*) { return true; }
#endif

#endif
