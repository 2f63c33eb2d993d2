// The preview's library parts, called as another front end would: mesh
// normals, framing, and a render with progress and cancelling.
#include "core/deliverables.h"
#include "core/errors.h"
#include "render/render.h"
#include "scene/scene.h"
#include "scene/sceneFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <set>
#include <string>
#include <tuple>

using namespace cwtool;

namespace {

Mesh cube()
{
    Mesh m;
    m.name = "cube";
    m.positions = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1}, {-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}};
    const unsigned quads[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
    for (const auto& q : quads) {
        m.triangles.push_back({q[0], q[1], q[2]});
        m.triangles.push_back({q[0], q[2], q[3]});
    }
    return m;
}

std::tuple<float, float, float> key(const Vec3& v) { return std::make_tuple(v.x, v.y, v.z); }

}  // namespace

TEST(CreasedNormals, KeepFlatFacesFlatAndSmoothBelowTheAngle)
{
    Mesh flat = cube();
    computeCreasedNormals(flat, kDefaultCreaseDegrees);
    EXPECT_EQ(flat.positions.size(), 24u) << "each corner split into its three faces";
    for (const auto& t : flat.triangles) {
        // Every corner of a triangle carries that face's own normal.
        const Vec3 face = normalized(cross(flat.positions[t[1]] - flat.positions[t[0]],
                                           flat.positions[t[2]] - flat.positions[t[0]]));
        for (unsigned i : t)
            EXPECT_NEAR(tone::dot(flat.normals[i], face), 1.0f, 1e-6f);
    }

    Mesh smooth = cube();
    computeCreasedNormals(smooth, 100.0f);
    ASSERT_EQ(smooth.positions.size(), 8u) << "right angles lie below 100 degrees";
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_NEAR(tone::dot(smooth.normals[i], normalized(smooth.positions[i])), 1.0f, 1e-5f)
            << "a corner's normal points out along its diagonal";
}

TEST(CreasedNormals, ObjNormalsAreUsedAsGiven)
{
    const Mesh gear = loadObjMesh(std::string(COOLWARM_SOURCE_DIR) + "/tests/images/obj-hard-edges/gear.obj",
                                  kDefaultCreaseDegrees, "--scene");
    // Each triangle's corners share the normal the file gives its face, which
    // is perpendicular to the face.
    for (const auto& t : gear.triangles) {
        EXPECT_EQ(key(gear.normals[t[0]]), key(gear.normals[t[1]]));
        EXPECT_EQ(key(gear.normals[t[0]]), key(gear.normals[t[2]]));
        const Vec3 face = normalized(cross(gear.positions[t[1]] - gear.positions[t[0]],
                                           gear.positions[t[2]] - gear.positions[t[0]]));
        EXPECT_NEAR(tone::dot(gear.normals[t[0]], face), 1.0f, 1e-4f);
    }
}

// The fitted camera keeps every framed vertex inside the picture and fills
// it, whatever the picture's aspect.
TEST(Framing, FitsTheModelToLandscapeAndPortraitPictures)
{
    Scene scene;
    Mesh column;
    ASSERT_TRUE(builtinMesh("box", column));
    transformMesh(column, {3, 1, -2}, {0, 30, 0}, {0.3f, 2.0f, 0.3f});
    scene.meshes.push_back(column);
    for (float aspect : {0.4f, 1.0f, 2.5f}) {
        SCOPED_TRACE(aspect);
        const CameraView view = resolveCamera(scene, aspect);
        const Vec3 back = normalized(view.eye - view.target);
        Vec3 right, up;
        cameraBasis(back, right, up);
        const float tanY = std::tan(0.5f * view.fovY * 3.14159265f / 180.0f), tanX = tanY * aspect;
        float widest = 0.0f;
        for (const Vec3& p : column.positions) {
            const Vec3 d = p - view.eye;
            const float depth = -tone::dot(d, back);
            ASSERT_GT(depth, 0.0f);
            const float x = std::fabs(tone::dot(d, right)) / (depth * tanX), y = std::fabs(tone::dot(d, up)) / (depth * tanY);
            EXPECT_LT(x, 1.0f);
            EXPECT_LT(y, 1.0f);
            widest = std::max({widest, x, y});
        }
        EXPECT_GT(widest, 0.85f) << "the model fills the picture";
    }
}

TEST(SceneOptions, CameraLightsAndBackgroundShortcuts)
{
    Scene scene = defaultScene();
    applyCameraOption(scene, "90,10,7");
    EXPECT_EQ(scene.camera.azimuth, 90.0f);
    EXPECT_EQ(scene.camera.distance, 7.0f);
    applyLightOption(scene, "fill=off");
    applyLightOption(scene, "rim=180,20,0.5");
    ASSERT_EQ(scene.lights.size(), 2u);
    EXPECT_EQ(scene.lights[1].name, "rim");
    EXPECT_EQ(scene.lights[1].kind, SceneLight::Directional);
    EXPECT_EQ(scene.lights[1].intensity, 0.5f);
    // It shines from behind (azimuth 180 is -z), so its light travels towards +z.
    EXPECT_GT(scene.lights[1].direction.z, 0.9f);
    EXPECT_EQ(key(parseBackground("0.25")), key(Vec3{0.25f, 0.25f, 0.25f}));
    EXPECT_THROW(applyCameraOption(scene, "1,2,3,4"), InputError);
    EXPECT_THROW(applyLightOption(scene, "key"), InputError);
    EXPECT_THROW(parseBackground("-1"), InputError);
}

TEST(RenderLibrary, ReportsProgressAndStopsWhenCancelled)
{
    const InstallLayout layout = findLayout();
    const MayaPlugin plugin(layout);
    const MentalRayShader shader(layout);
    const Scene scene = defaultScene();
    RenderSettings settings;
    settings.width = 96;
    settings.height = 64;
    settings.threads = 2;
    int last = -1, total = 0;
    settings.progress = [&](int done, int all) {
        EXPECT_GE(done, last);
        last = done;
        total = all;
    };
    const Image image = render(scene, settings, &plugin, &shader);
    EXPECT_EQ(image.width, 2 * 96 + 2);
    EXPECT_EQ(last, total) << "the last report says done";
    EXPECT_EQ(total, 2 * 3 * 2) << "tiles of 32 in each panel";

    std::atomic<bool> cancel{true};
    settings.cancel = &cancel;
    EXPECT_THROW(render(scene, settings, &plugin, &shader), RenderCancelled);
}
