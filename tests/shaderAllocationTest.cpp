// The shader and the stand-in renderer allocate nothing per call.
#include "allocationCounter.h"
#include "shaderFixture.h"

#include <gtest/gtest.h>

TEST(ShaderAllocation, ShadingAllocatesNothingPerCall)
{
    // The renderer module allocates, so it shows the counter at work; the
    // library may import no allocator at all.
    ASSERT_TRUE(countAllocationsIn(loader::loaded(mrhost::modulePath())));
    countAllocationsIn(ShaderLibrary::get().library);
    const long probe = allocationCount().load();
    { mrhost::ShaderCall built(64); }
    ASSERT_GT(allocationCount().load(), probe) << "the counter must see the renderer module allocate";
    mrhost::clearScene();
    mrhost::Light area;
    area.kind = mrhost::Light::Area;
    area.position = {0.0f, 2.0f, 2.0f};
    area.samples = 4;
    const float glow[4] = {0.1f, 0.0f, 0.0f, 1.0f};
    const miTag connection = mrhost::addConnection(glow, sizeof glow);
    ShaderScene s;
    s.values["computeIrradiance"] = {1.0};
    s.lights = {mrhost::addLight(area), mrhost::addLight(mrhost::Light())};
    std::unique_ptr<mrhost::ShaderCall> call = s.build();
    call->connect(ShaderLibrary::get().declaration.find("incandescence")->offset, connection);
    shadeCall(*call);  // binds the renderer functions

    const long before = allocationCount().load();
    for (int i = 0; i < 10000; ++i) {
        call->state().normal = {0.0f, 0.0001f * static_cast<float>(i), 1.0f};
        shadeCall(*call);
    }
    EXPECT_EQ(allocationCount().load() - before, 0);
}
