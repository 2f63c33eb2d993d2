// Run-time binding of the renderer functions this library calls.
//
// The library is not linked against the renderer. The renderer hands over the
// handle of its own module through miSetModuleHandle; each of the four stubs
// below looks its function up by name in that module on first use, keeps the
// address in the binding table and calls through it from then on.
//
// Render threads read and fill the table without a lock. Each entry is one
// atomic pointer-wide word, read and written whole with relaxed ordering: two
// threads resolving the same function at once both store the same address.
// miSetModuleHandle is called while the library is loaded, before any shader
// call, never during rendering.
#include "zarn_coolwarm.h"

#include <atomic>
#include <cinttypes>
#include <cstdint>
#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

// Fixed entries of the renderer's 500-entry function table.
enum {
    kTableSize = 500,
    kComputeIrradiance = 50,
    kSampleLight = 85,
    kPhenEval = 91,
    kBlongSpecular = 150
};

static_assert(sizeof(std::atomic<void*>) == sizeof(void*), "a table entry is one pointer wide");

void* moduleHandle = nullptr;
std::atomic<void*> bindingTable[kTableSize];


void* lookUp(const char* name)
{
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(moduleHandle), name));
#else
    dlerror();  // clear a stale error so the lookup's own is the one left
    return dlsym(moduleHandle, name);
#endif
}

// The loader's error code. Windows keeps a number; Linux has only dlerror()'s
// text, which the stub consumes and reports as 0.
int lastLoaderError()
{
#if defined(_WIN32)
    return static_cast<int>(GetLastError());
#else
    dlerror();
    return 0;
#endif
}

#if defined(__GNUC__)
#define ZARN_COLD __attribute__((noinline, cold))
#define ZARN_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define ZARN_COLD
#define ZARN_UNLIKELY(x) (x)
#endif

// Looks `name` up, stores the address in `entry` and returns it; null (with the
// diagnostics printed) when the lookup fails, which is not remembered: the next
// call looks again. Kept out of line, so that a stub whose entry is filled is
// a load, a test and a jump, with nothing saved around the call.
ZARN_COLD void* bind(int entry, const char* name)
{
    if (!moduleHandle)
        std::fprintf(stderr, "DYNLOAD: dl_handle null\n");
    void* address = lookUp(name);
    bindingTable[entry].store(address, std::memory_order_relaxed);
    // The handle prints as lower-case hexadecimal, at least eight digits
    // with leading zeros, at the width of the handle itself.
    if (!address)
        std::fprintf(stderr, "dlsym failed on \"%s\" (handle: %08" PRIxPTR " error: %d)\n", name,
                     reinterpret_cast<std::uintptr_t>(moduleHandle), lastLoaderError());
    return address;
}

// The address of the function in `entry`, bound on first use.
template <class Function>
inline Function resolve(int entry, const char* name)
{
    void* address = bindingTable[entry].load(std::memory_order_relaxed);
    if (ZARN_UNLIKELY(!address))
        address = bind(entry, name);
    return reinterpret_cast<Function>(address);
}

// The address in `entry`, or null while it is not bound.
template <class Function>
inline Function bound(int entry)
{
    return reinterpret_cast<Function>(bindingTable[entry].load(std::memory_order_relaxed));
}

// A stub's first call (and every call after a failed lookup): bind, then call,
// or answer `otherwise` when there is nothing to call. The stubs that run per
// light sample test bound() themselves and come here only when it is null, so
// that their own call is a plain jump with nothing saved around it.
template <class Function, class Result, class... Args>
ZARN_COLD Result firstCall(int entry, const char* name, Result otherwise, Args... args)
{
    if (Function f = resolve<Function>(entry, name))
        return f(args...);
    return otherwise;
}

}  // namespace

extern "C" {

ZARN_EXPORT int miSetModuleHandle(void* handle)
{
    moduleHandle = handle;
    for (std::atomic<void*>& entry : bindingTable)
        entry.store(nullptr, std::memory_order_relaxed);
    return 0;
}

// The stubs carry the renderer's names and signatures but stay inside this
// library, so a lookup in the loader's default scope never finds them.
//
// After a failed lookup there is nothing to call; each stub then answers what
// its callers can live with: no light sample, the parameter read in place, no
// irradiance, no highlight.

miBoolean mi_sample_light(miColor *const result, miVector *const dir, float *const dot_nl, miState *const state,
                          const miTag light_inst, int *const samples)
{
    typedef miBoolean (*Fn)(miColor *const, miVector *const, float *const, miState *const, const miTag, int *const);
    if (Fn f = bound<Fn>(kSampleLight))
        return f(result, dir, dot_nl, state, light_inst, samples);
    return firstCall<Fn>(kSampleLight, "mi_sample_light", miBoolean(miFALSE), result, dir, dot_nl, state, light_inst,
                         samples);
}

miScalar mi_blong_specular(miScalar spec_exp, miState *state, miVector *dir)
{
    typedef miScalar (*Fn)(miScalar, miState *, miVector *);
    if (Fn f = bound<Fn>(kBlongSpecular))
        return f(spec_exp, state, dir);
    return firstCall<Fn>(kBlongSpecular, "mi_blong_specular", miScalar(0.0f), spec_exp, state, dir);
}

miBoolean mi_compute_irradiance(miColor *result, miState *state)
{
    typedef miBoolean (*Fn)(miColor *, miState *);
    if (Fn f = resolve<Fn>(kComputeIrradiance, "mi_compute_irradiance"))
        return f(result, state);
    result->r = result->g = result->b = 0.0f;
    result->a = 1.0f;
    return miFALSE;
}

void *mi_phen_eval(miState *state, void *parm)
{
    typedef void *(*Fn)(miState *, void *);
    if (Fn f = bound<Fn>(kPhenEval))
        return f(state, parm);
    return firstCall<Fn>(kPhenEval, "mi_phen_eval", parm, state, parm);
}

}  // extern "C"
