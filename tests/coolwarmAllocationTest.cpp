// The node's compute allocates nothing once the renderer's light list has its size.
#include "allocationCounter.h"
#include "pluginFixture.h"

#include <gtest/gtest.h>

TEST(CoolwarmAllocation, ComputeAllocatesNothingPerSample)
{
    loadedPlugin();
    ASSERT_TRUE(countAllocationsIn(loader::loaded(pluginPath())));
    ASSERT_TRUE(countAllocationsIn(loader::loaded(COOLWARM_OPENMAYA_FILE)));
    const long probe = allocationCount().load();
    { mayahost::Node created("coolwarm"); }
    ASSERT_GT(allocationCount().load(), probe) << "the counter must see a node being created";
    mayahost::Node node("coolwarm");
    mayahost::ShadingSampler sampler(node);
    mayahost::LightSample lights[3];
    lights[1].specular = true;
    lights[2].diffuse = false;
    float point[3] = {0.0f, 0.0f, -3.0f}, normal[3] = {0.0f, 0.0f, 1.0f}, view[3] = {0.0f, 0.0f, -1.0f};
    float rgb[3];
    sampler.setSample(point, normal, view);
    sampler.setLights(lights, 3);
    sampler.outColor(rgb);  // the first call may size the block

    const long before = allocationCount().load();
    for (int i = 0; i < 10000; ++i) {
        normal[0] = 0.0001f * static_cast<float>(i);
        lights[0].direction[1] = normal[0];
        sampler.setSample(point, normal, view);
        sampler.setLights(lights, 1 + i % 3);
        sampler.outColor(rgb);
        sampler.outTransparency(rgb);
    }
    EXPECT_EQ(allocationCount().load() - before, 0);
}
