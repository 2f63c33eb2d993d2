// The shader library's run-time binding, with the library and the renderer
// modules opened by the platform loader and nothing of the renderer linked in.
//
// The program sees every lookup the library makes: on Linux it defines dlsym
// itself, in front of the C library's; on Windows it points the library's
// import of GetProcAddress at its own.
#include "loader.h"
#include "shaderCall.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

namespace {

struct Lookup {
    void* handle;
    std::string name;
};

std::mutex lookupMutex;
std::vector<Lookup> lookups;  // every lookup of a renderer function

void record(void* handle, const char* name)
{
    if (std::strncmp(name, "mi_", 3) == 0) {
        std::lock_guard<std::mutex> lock(lookupMutex);
        lookups.push_back({handle, name});
    }
}

}  // namespace

#if defined(_WIN32)
namespace {
typedef FARPROC(WINAPI* GetProcAddressFn)(HMODULE, LPCSTR);
GetProcAddressFn realGetProcAddress = nullptr;

FARPROC WINAPI recordingGetProcAddress(HMODULE module, LPCSTR name)
{
    record(module, name);
    return realGetProcAddress(module, name);
}

// Watches the library's lookups from now on; false when it makes none.
bool watchLookups(void* library)
{
    if (!realGetProcAddress)
        realGetProcAddress = reinterpret_cast<GetProcAddressFn>(loader::patchImport(
            library, "kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&recordingGetProcAddress)));
    return realGetProcAddress != nullptr;
}
}  // namespace
constexpr bool kSeesLookups = true;
#else
namespace {
typedef void* (*DlsymFn)(void*, const char*);

DlsymFn realDlsym()
{
    static DlsymFn real = reinterpret_cast<DlsymFn>(dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34"));
    return real;
}

bool watchLookups(void*) { return realDlsym() != nullptr; }
}  // namespace

// A sanitizer runtime finds its own functions with dlsym(RTLD_NEXT, ...), which
// only works when called from the runtime itself; under a sanitizer this
// program therefore leaves dlsym alone and does not count lookups.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSeesLookups = false;
#else
constexpr bool kSeesLookups = true;
extern "C" void* dlsym(void* handle, const char* name)
{
    record(handle, name);
    return realDlsym()(handle, name);
}
#endif
#endif

namespace {

typedef int (*SetModuleHandleFn)(void*);
typedef miBoolean (*ShaderFn)(miColor*, miState*, struct zarn_coolwarm*);
typedef int (*VersionFn)();

class Binding : public testing::Test {
protected:
    void SetUp() override
    {
        library = loader::open(ZARN_COOLWARM_FILE);
        ASSERT_NE(library, nullptr) << loader::error();
        ASSERT_TRUE(watchLookups(library));
        renderer = loader::open(MRSTANDIN_FILE);
        ASSERT_NE(renderer, nullptr) << loader::error();
        partial = loader::open(MRSTANDIN_PARTIAL_FILE);
        ASSERT_NE(partial, nullptr) << loader::error();
        setModuleHandle = reinterpret_cast<SetModuleHandleFn>(loader::symbol(library, "miSetModuleHandle"));
        shader = reinterpret_cast<ShaderFn>(loader::symbol(library, "zarn_coolwarm"));
        version = reinterpret_cast<VersionFn>(loader::symbol(library, "zarn_coolwarm_version"));
        ASSERT_NE(setModuleHandle, nullptr);
        ASSERT_NE(shader, nullptr);
        ASSERT_NE(version, nullptr);
        clearLookups();
    }
    void TearDown() override { clearLookups(); }

    static void clearLookups()
    {
        std::lock_guard<std::mutex> lock(lookupMutex);
        lookups.clear();
    }
    static std::vector<std::string> lookedUp(void* handle)
    {
        std::lock_guard<std::mutex> lock(lookupMutex);
        std::vector<std::string> names;
        for (const Lookup& l : lookups)
            if (l.handle == handle)
                names.push_back(l.name);
        return names;
    }
    static std::size_t lookupCount()
    {
        std::lock_guard<std::mutex> lock(lookupMutex);
        return lookups.size();
    }

    // Shades once with what the call asks for and returns what was printed.
    std::string shade(HandMadeCall& call, miColor& result)
    {
        testing::internal::CaptureStderr();
        EXPECT_EQ(shader(&result, &call.state, &call.paras()), miTRUE);
        return testing::internal::GetCapturedStderr();
    }

    static std::string failedLine(const char* name, void* handle)
    {
        char text[160];
        std::snprintf(text, sizeof text, "dlsym failed on \"%s\" (handle: %08" PRIxPTR " error: %d)\n", name,
                      reinterpret_cast<std::uintptr_t>(handle), loader::kMissingSymbolCode);
        return text;
    }

    void* library = nullptr;
    void* renderer = nullptr;
    void* partial = nullptr;
    SetModuleHandleFn setModuleHandle = nullptr;
    ShaderFn shader = nullptr;
    VersionFn version = nullptr;
};

}  // namespace

TEST_F(Binding, BeforeTheHandleIsSetAStubSaysSoAndFailsSafely)
{
    // Only one parameter is connected and nothing else calls the renderer, so
    // only mi_phen_eval is needed; it cannot be found in the default scope.
    HandMadeCall call;
    call.connect(&call.paras().incandescence, 7);
    call.paras().incandescence = {0.25f, 0.5f, 0.75f, 1.0f};
    miColor result{0.0f, 0.0f, 0.0f, 0.0f};
    const std::string err = shade(call, result);
    std::cout << "reported: " << err;
    EXPECT_EQ(err, "DYNLOAD: dl_handle null\n" + failedLine("mi_phen_eval", nullptr));
    EXPECT_THAT(err, testing::HasSubstr("(handle: 00000000"));
    // The failed stub hands back the parameter itself.
    EXPECT_EQ(result.r, 0.25f);
    EXPECT_EQ(result.b, 0.75f);
    EXPECT_EQ(result.a, 1.0f);
    // Failures are not remembered: the next call tries again.
    EXPECT_EQ(shade(call, result), "DYNLOAD: dl_handle null\n" + failedLine("mi_phen_eval", nullptr));
    EXPECT_EQ(version(), 1);
}

TEST_F(Binding, EachFunctionIsLookedUpOnceOnFirstUse)
{
    if (!kSeesLookups)
        GTEST_SKIP() << "lookups are not visible under a sanitizer";
    setModuleHandle(renderer);
    EXPECT_EQ(lookupCount(), 0u) << "nothing is looked up before it is used";

    HandMadeCall call;
    call.paras().computeIrradiance = miTRUE;
    miColor result{};
    EXPECT_EQ(shade(call, result), "");
    EXPECT_THAT(lookedUp(renderer), testing::ElementsAre("mi_compute_irradiance"));

    // Lights and a connection need the other two; the irradiance entry stays.
    call.setLights(2, 12345);
    call.connect(&call.paras().beta, 99);
    EXPECT_EQ(shade(call, result), "");
    EXPECT_THAT(lookedUp(renderer),
                testing::ElementsAre("mi_compute_irradiance", "mi_phen_eval", "mi_sample_light"));
    for (int i = 0; i < 3; ++i)
        shade(call, result);
    EXPECT_EQ(lookupCount(), 3u) << "later calls go through the table";
}

TEST_F(Binding, ANewHandleMakesEveryFunctionResolveAgainInTheNewModule)
{
    setModuleHandle(renderer);
    HandMadeCall call;
    call.paras().computeIrradiance = miTRUE;
    call.setLights(1, 1);
    miColor result{};
    shade(call, result);
    const std::size_t before = lookupCount();
    EXPECT_TRUE(before > 0 || !kSeesLookups);

    setModuleHandle(partial);
    EXPECT_EQ(lookupCount(), before) << "a new handle alone looks nothing up";
    result = miColor{};
    EXPECT_EQ(shade(call, result), "");
    if (kSeesLookups) {
        EXPECT_THAT(lookedUp(partial),
                    testing::ElementsAre("mi_sample_light", "mi_blong_specular", "mi_compute_irradiance"));
    }
    // The partial module's answers: one white sample along N (cool colour), a
    // highlight factor of 42, an irradiance of 0.25.
    const float highlight = 42.0f * 0.5f;
    const float irradiance = 0.25f / 3.1415927f;
    EXPECT_FLOAT_EQ(result.r, 0.8f * 0.2f + highlight + 1.0f * irradiance);
    EXPECT_FLOAT_EQ(result.g, 0.8f * 0.1f + highlight + 0.5f * irradiance);
    EXPECT_FLOAT_EQ(result.b, 0.8f * 0.4f + highlight);

    // The same handle again still forgets every address.
    setModuleHandle(partial);
    shade(call, result);
    if (kSeesLookups) {
        EXPECT_EQ(lookedUp(partial).size(), 6u);
    }
}

TEST_F(Binding, AMissingFunctionFailsOnEveryCallWhileTheOthersWork)
{
    setModuleHandle(partial);
    HandMadeCall call;
    call.setLights(1, 1);
    call.connect(&call.paras().diffuse, 5);
    call.paras().diffuse = 0.5f;
    call.paras().specularRollOff = 0.0f;
    for (int i = 0; i < 3; ++i) {
        miColor result{};
        EXPECT_EQ(shade(call, result), failedLine("mi_phen_eval", partial));
        // diffuse read in place: 0.5 times the cool colour.
        EXPECT_FLOAT_EQ(result.r, 0.5f * 0.2f);
        EXPECT_FLOAT_EQ(result.b, 0.5f * 0.4f);
    }
    if (kSeesLookups) {
        EXPECT_EQ(lookedUp(partial),
                  (std::vector<std::string>{"mi_phen_eval", "mi_sample_light", "mi_blong_specular", "mi_phen_eval",
                                            "mi_phen_eval"}));
    }

    // The handle prints as lower-case hex, eight digits where a handle is 32 bits.
    miColor result{};
    const std::string line = shade(call, result);
    std::cout << "reported: " << line;
    const std::size_t from = line.find("(handle: ") + 9;
    const std::string digits = line.substr(from, line.find(' ', from) - from);
    EXPECT_EQ(digits.find_first_not_of("0123456789abcdef"), std::string::npos) << digits;
    if (sizeof(void*) == 4)
        EXPECT_EQ(digits.size(), 8u) << digits;
    else
        EXPECT_GE(digits.size(), 8u) << digits;
}

TEST_F(Binding, ThreadsResolvingAtOnceAgree)
{
    setModuleHandle(partial);
    std::vector<std::thread> threads;
    std::vector<float> red(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            HandMadeCall call;
            call.setLights(1, 1);
            for (int i = 0; i < 200; ++i) {
                miColor result{};
                shader(&result, &call.state, &call.paras());
                red[t] = result.r;
            }
        });
    for (std::thread& th : threads)
        th.join();
    for (float r : red)
        EXPECT_FLOAT_EQ(r, 0.8f * 0.2f + 42.0f * 0.5f);
}
