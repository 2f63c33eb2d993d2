// Adaptive sampling against the uniform render at the same count, and the
// ray-casting scene kept between renders.
#include "core/deliverables.h"
#include "render/render.h"
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

using namespace cwtool;

namespace {

struct Deliverables {
    Deliverables() : layout(findLayout()), plugin(layout), shader(layout) {}
    InstallLayout layout;
    MayaPlugin plugin;
    MentalRayShader shader;
};

const Deliverables& deliverables()
{
    static const Deliverables d;
    return d;
}

// The share of pixels that differ from `reference` by more than `tolerance`
// in some channel (8-bit sRGB, as fractions of 255).
double shareDiffering(const Image& image, const Image& reference, double tolerance)
{
    EXPECT_EQ(image.srgb.size(), reference.srgb.size());
    std::size_t differing = 0;
    for (std::size_t p = 0; p + 2 < image.srgb.size(); p += 3) {
        int worst = 0;
        for (int c = 0; c < 3; ++c)
            worst = std::max(worst, std::abs(int(image.srgb[p + c]) - int(reference.srgb[p + c])));
        if (worst > tolerance * 255.0)
            ++differing;
    }
    return static_cast<double>(differing) / static_cast<double>(image.srgb.size() / 3);
}

struct Comparison {
    double share;         // of pixels differing by more than 0.02
    double sampleShare;   // the adaptive render's samples over the uniform one's
};

Comparison adaptiveAgainstUniform(const Scene& scene, RenderSettings settings)
{
    const Deliverables& d = deliverables();
    settings.uniformSamples = true;
    RenderTimes uniformTimes, adaptiveTimes;
    const Image uniform = render(scene, settings, &d.plugin, &d.shader, &uniformTimes);
    settings.uniformSamples = false;
    const Image adaptive = render(scene, settings, &d.plugin, &d.shader, &adaptiveTimes);
    EXPECT_EQ(uniformTimes.samples, 2LL * settings.width * settings.height * settings.samples);
    return {shareDiffering(adaptive, uniform, 0.02),
            static_cast<double>(adaptiveTimes.samples) / static_cast<double>(uniformTimes.samples)};
}

RenderSettings pageSettings(int samples)
{
    RenderSettings settings;
    settings.width = 240;
    settings.height = 180;
    settings.samples = samples;
    settings.threads = 2;
    settings.labels = false;
    return settings;
}

}  // namespace

TEST(AdaptiveSampling, MatchesTheUniformRenderWithFewerSamples)
{
    // The built-in scene: silhouettes, outlines, shadows, a highlight.
    Comparison c = adaptiveAgainstUniform(defaultScene(), pageSettings(4));
    EXPECT_LE(c.share, 0.005);
    EXPECT_LT(c.sampleShare, 0.6) << "the flat parts keep one sample";

    // A wide outline and a sharp highlight on the Maya side, more samples.
    RenderSettings outlined = pageSettings(9);
    outlined.settings.values = {{"outLineWidth", {0.3}}, {"outLineColor", {0.1, 0.1, 0.3}}, {"specularColor", {1, 1, 1}}};
    c = adaptiveAgainstUniform(defaultScene(), outlined);
    EXPECT_LE(c.share, 0.005);
    EXPECT_LT(c.sampleShare, 0.6);

    // A small picture: most tiles are partial and most pixels sit by an edge.
    RenderSettings small = pageSettings(4);
    small.width = 45;
    small.height = 37;
    c = adaptiveAgainstUniform(swatchScene(), small);
    EXPECT_LE(c.share, 0.005);
}

TEST(AdaptiveSampling, OneSampleAndUniformAreUnchanged)
{
    const Deliverables& d = deliverables();
    const Scene scene = defaultScene();
    RenderSettings settings = pageSettings(1);
    RenderTimes times;
    const Image adaptive = render(scene, settings, &d.plugin, &d.shader, &times);
    EXPECT_EQ(times.samples, 2LL * 240 * 180);
    settings.uniformSamples = true;
    const Image uniform = render(scene, settings, &d.plugin, &d.shader);
    EXPECT_EQ(adaptive.srgb, uniform.srgb) << "one sample is one sample either way";

    // A flat picture keeps its first samples: nothing differs, no edge.
    Scene empty = scene;
    empty.meshes.clear();
    settings.samples = 4;
    const Image flatUniform = render(empty, settings, &d.plugin, &d.shader);
    settings.uniformSamples = false;
    const Image flatAdaptive = render(empty, settings, &d.plugin, &d.shader, &times);
    EXPECT_EQ(flatAdaptive.srgb, flatUniform.srgb);
    EXPECT_LT(times.samples, 2LL * 240 * 180 * 5 / 4) << "one sample a pixel, and the few looked at twice";
}

TEST(RayScene, RebuildsOnlyTheMeshesThatChanged)
{
    const Deliverables& d = deliverables();
    Scene scene = defaultScene();
    const std::size_t meshes = scene.meshes.size();
    ASSERT_GE(meshes, 3u);
    RayScene rays;
    EXPECT_EQ(rays.update(scene.meshes), static_cast<int>(meshes));
    const Scene copy = scene;  // the same arrays elsewhere in memory
    EXPECT_EQ(rays.update(copy.meshes), 0);

    scene.meshes[1].positions[0].y += 0.25f;
    EXPECT_EQ(rays.update(scene.meshes), 1) << "one vertex moved";
    scene.meshes[2].triangles.pop_back();
    EXPECT_EQ(rays.update(scene.meshes), 1) << "one triangle fewer";
    scene.meshes[0].name = "renamed";
    scene.meshes[0].normals[0] = -scene.meshes[0].normals[0];
    EXPECT_EQ(rays.update(scene.meshes), 0) << "names and normals are not in the ray caster";

    // Kept or built afresh, the pictures are the same, as the scene changes.
    RenderSettings settings = pageSettings(1);
    settings.width = 96;
    settings.height = 72;
    for (int change = 0; change < 3; ++change) {
        if (change == 1)
            scene.meshes.pop_back();  // one mesh fewer
        if (change == 2)
            transformMesh(scene.meshes[0], {0.5f, 0.0f, 0.0f}, {0.0f, 30.0f, 0.0f}, {1.5f, 1.5f, 1.5f});
        const Image kept = render(scene, settings, &d.plugin, &d.shader, nullptr, &rays);
        const Image fresh = render(scene, settings, &d.plugin, &d.shader);
        EXPECT_EQ(kept.srgb, fresh.srgb) << "change " << change;
    }
    EXPECT_EQ(rays.update(scene.meshes), 0) << "the render brought it up to date";
}
