// Models nobody here made: generated shapes loaded and rendered as a user's
// files would be, far from the origin, tiny, z up, with spoilt normals.
#include "meshShapes.h"
#include "pictureStats.h"

#include "core/deliverables.h"
#include "core/errors.h"
#include "render/render.h"
#include "scene/scene.h"
#include "scene/sceneFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

using namespace cwtool;
namespace fs = std::filesystem;
using testing::HasSubstr;

namespace {

class Meshes : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        layout.reset(new InstallLayout(findLayout()));
        plugin.reset(new MayaPlugin(*layout));
        shader.reset(new MentalRayShader(*layout));
    }
    static void TearDownTestSuite()
    {
        shader.reset();
        plugin.reset();
        layout.reset();
    }
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("coolwarm-meshes-" + std::to_string(getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& file, const std::string& text) const
    {
        const std::string path = (dir / file).string();
        std::ofstream(path) << text;
        return path;
    }
    std::string shape(const std::string& name, const shapes::Options& o = {}, const std::string& file = "") const
    {
        return write((file.empty() ? name : file) + ".obj", shapes::objText(shapes::named(name), o));
    }

    // One panel in linear colour, with the built-in look.
    static std::vector<float> picture(Scene scene, bool maya, int width = 96, int height = 72, int samples = 1)
    {
        Look look = builtinLook();
        look.set(scene.material);
        scene.material = look;
        RenderSettings settings;
        settings.width = width;
        settings.height = height;
        settings.samples = samples;
        settings.threads = 2;
        settings.linearOutput = true;
        const Image image = render(scene, settings, maya ? plugin.get() : nullptr, maya ? nullptr : shader.get());
        std::vector<float> rgb;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const Vec3 c = image.pixel(x, y);
                rgb.insert(rgb.end(), {c.x, c.y, c.z});
            }
        return rgb;
    }
    // The share of channels that differ by more than `tolerance`.
    static double differing(const std::vector<float>& a, const std::vector<float>& b, float tolerance = 0.02f)
    {
        std::size_t n = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            n += std::fabs(a[i] - b[i]) > tolerance;
        return static_cast<double>(n) / a.size();
    }

    static std::unique_ptr<InstallLayout> layout;
    static std::unique_ptr<MayaPlugin> plugin;
    static std::unique_ptr<MentalRayShader> shader;
    fs::path dir;
};

std::unique_ptr<InstallLayout> Meshes::layout;
std::unique_ptr<MayaPlugin> Meshes::plugin;
std::unique_ptr<MentalRayShader> Meshes::shader;

Vec3 faceNormal(const Mesh& m, const std::array<unsigned, 3>& t)
{
    return normalized(cross(m.positions[t[1]] - m.positions[t[0]], m.positions[t[2]] - m.positions[t[0]]));
}

}  // namespace

// Positions are recentred and scaled in double precision as they load: the
// same model at the origin, 1e4 or 1e6 units away, or a millionth of the
// size, gives the same picture in both panels.
TEST_F(Meshes, WhereverAModelLiesAndWhateverItsSizeThePictureIsTheSame)
{
    const Scene origin = loadObjScene(shape("blob"), MeshOptions());
    const std::vector<float> mayaOrigin = picture(origin, true), mentalRayOrigin = picture(origin, false);
    struct Case {
        shapes::P3 offset;
        double scale;
    };
    for (const Case& c : {Case{{1e4, -1e4, 1e4}, 1.0}, Case{{1e6, 1e6, -1e6}, 1.0}, Case{{0, 0, 0}, 1e-6},
                          Case{{3e5, 0, 0}, 1e-4}, Case{{0, 0, 0}, 1e6}}) {
        SCOPED_TRACE(std::to_string(c.offset[0]) + " scale " + std::to_string(c.scale));
        shapes::Options o;
        o.offset = c.offset;
        o.scale = c.scale;
        const Scene moved = loadObjScene(shape("blob", o), MeshOptions());
        ASSERT_EQ(moved.meshes[0].positions.size(), origin.meshes[0].positions.size());
        float apart = 0.0f;
        for (std::size_t i = 0; i < origin.meshes[0].positions.size(); ++i)
            apart = std::max(apart, length(moved.meshes[0].positions[i] - origin.meshes[0].positions[i]));
        EXPECT_LT(apart, 1e-5f) << "placed positions";
        EXPECT_NEAR(moved.placement.unit / origin.placement.unit, c.scale, 1e-9 * c.scale);
        EXPECT_LT(differing(picture(moved, true), mayaOrigin), 0.002);
        EXPECT_LT(differing(picture(moved, false), mentalRayOrigin), 0.002);
    }
}

// Distances and positions given in the file's units follow the placement.
TEST_F(Meshes, SceneFilePositionsAndCameraDistancesAreInTheFilesUnits)
{
    shape("blob");
    auto scene = [&](double offset, double scale) {
        const std::string o = std::to_string(offset), s = std::to_string(scale);
        return write("s.json", "{\"meshes\": [{\"obj\": \"blob.obj\", \"translate\": [" + o + ", 0, 0], \"scale\": " + s +
                                   "}], \"camera\": {\"azimuth\": 20, \"elevation\": 10, \"distance\": " +
                                   std::to_string(4.0 * scale) + "}, \"lights\": [{\"name\": \"key\", \"position\": [" +
                                   std::to_string(offset - 3.0 * scale) + ", " + std::to_string(3.0 * scale) +
                                   ", 0]}]}");
    };
    const std::vector<float> near = picture(loadSceneFile(scene(0.0, 1.0), MeshOptions()), true);
    const std::vector<float> far = picture(loadSceneFile(scene(900000.0, 0.001), MeshOptions()), true);
    EXPECT_LT(differing(near, far), 0.002);
    // And --camera's distance too.
    Scene a = loadSceneFile(scene(0.0, 1.0), MeshOptions()), b = loadSceneFile(scene(900000.0, 0.001), MeshOptions());
    applyCameraOption(a, "30,20,5");
    applyCameraOption(b, "30,20,0.005");
    EXPECT_NEAR(a.camera.distance, b.camera.distance, 1e-4f);
}

// Sizes whose products leave single precision are refused, naming the file
// or the field.
TEST_F(Meshes, ValuesThatWouldOverflowAreRefusedByName)
{
    const std::string huge = write("huge.obj", "v -3e38 0 0\nv 3e38 0 0\nv 0 3e38 0\nf 1 2 3\n");
    try {
        loadObjScene(huge, MeshOptions());
        ADD_FAILURE() << "a model 6e38 wide was taken";
    } catch (const InputError& e) {
        EXPECT_THAT(e.what(), HasSubstr("huge.obj"));
        EXPECT_THAT(e.what(), HasSubstr("single precision"));
    }
    write("big.obj", "v 0 0 0\nv 1e34 0 0\nv 0 1e34 0\nf 1 2 3\n");
    const std::string sceneFile = write("s.json", R"({"meshes": [{"obj": "big.obj", "scale": 1000000}]})");
    try {
        loadSceneFile(sceneFile, MeshOptions());
        ADD_FAILURE() << "a scale taking a mesh past single precision was taken";
    } catch (const InputError& e) {
        EXPECT_THAT(e.what(), HasSubstr("meshes[0].scale"));
    }
}

// Normals that point against their face are turned to its side and counted;
// a file wound the other way round throughout is its winding, not bad normals.
TEST_F(Meshes, FileNormalsAgainstTheirFacesAreTurnedAndCounted)
{
    shapes::Options flipped;
    flipped.flipEvery = 3;
    std::vector<std::string> notes;
    const Mesh m = loadObjMesh(shape("blob", flipped), MeshOptions(), "--scene", &notes);
    for (const auto& t : m.triangles)
        for (unsigned i : t)
            ASSERT_GT(tone::dot(m.normals[i], faceNormal(m, t)), 0.0f);
    const std::size_t normalCount = shapes::blob().normals.size();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_THAT(notes[0], HasSubstr(std::to_string((normalCount + 2) / 3) + " of the file's " +
                                    std::to_string(normalCount) + " normals pointed against their faces"));

    // Every face wound clockwise, every normal outward: nothing to turn.
    std::string reversed = shapes::objText(shapes::cadPart(), {});
    std::string rewound;
    std::istringstream lines(reversed);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, 2, "f ") == 0) {
            std::istringstream words(line.substr(2));
            std::vector<std::string> corners;
            for (std::string w; words >> w;)
                corners.insert(corners.begin(), w);
            line = "f";
            for (const std::string& c : corners)
                line += " " + c;
        }
        rewound += line + "\n";
    }
    notes.clear();
    loadObjMesh(write("rewound.obj", rewound), MeshOptions(), "--scene", &notes);
    EXPECT_TRUE(notes.empty()) << notes[0];
}

// smooth recomputes (and creases), flat takes each face's own normal, and a
// crease angle that cannot act on a file's own normals is said to do nothing.
TEST_F(Meshes, NormalsCanBeRecomputedOrFlat)
{
    const std::string bust = shape("bust");
    MeshOptions smooth(30.0f), flat, given(30.0f);
    smooth.normals = NormalSource::Smooth;
    flat.normals = NormalSource::Flat;
    given.creaseGiven = true;
    std::vector<std::string> notes;
    const Mesh fromFile = loadObjMesh(bust, given, "--scene", &notes);
    // The scan's noisy normals are noted too.
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_THAT(notes[1], HasSubstr("the crease angle does nothing"));
    const Mesh recomputed = loadObjMesh(bust, smooth, "--scene");
    const Mesh faces = loadObjMesh(bust, flat, "--scene");
    // Recomputed normals owe nothing to the file's: spoiling those changes nothing.
    shapes::Options spoilt;
    spoilt.flipEvery = 2;
    const Mesh fromSpoilt = loadObjMesh(shape("bust", spoilt, "spoilt"), smooth, "--scene");
    ASSERT_EQ(fromSpoilt.normals.size(), recomputed.normals.size());
    std::size_t same = 0, likeFile = 0;
    for (std::size_t i = 0; i < recomputed.normals.size(); ++i)
        same += length(fromSpoilt.normals[i] - recomputed.normals[i]) == 0.0f;
    EXPECT_EQ(same, recomputed.normals.size());
    for (const auto& t : fromFile.triangles)
        for (unsigned i : t)
            likeFile += std::fabs(tone::dot(fromFile.normals[i], faceNormal(fromFile, t))) > 0.9999f;
    EXPECT_LT(likeFile, fromFile.triangles.size()) << "the scan's own normals are noisy";
    for (const auto& t : faces.triangles)
        for (unsigned i : t)
            EXPECT_NEAR(tone::dot(faces.normals[i], faceNormal(faces, t)), 1.0f, 1e-5f);
}

// A plate with a fin standing on it: three faces share the fin's edge, and
// the plate's two faces are wound against each other. The plate's smoothed
// normals must not cancel to a sideways normal that draws the outline.
// A scan's noisy normals are named in a note that says what helps; normals
// that follow their surface are not, however coarse it is or however hard its
// edges: smooth ones on a lumpy blob, an eight-sided prism's (smoothed around
// its sides across 45-degree edges, flat on its caps), a machined part's flat
// faces.
TEST_F(Meshes, NoisyFileNormalsAreNoted)
{
    auto notesOf = [](const std::string& path, NormalSource source = NormalSource::File) {
        MeshOptions options;
        options.normals = source;
        std::vector<std::string> notes;
        loadObjMesh(path, options, "--scene", &notes);
        std::string all;
        for (const std::string& n : notes)
            all += n + "\n";
        return all;
    };
    const std::string bust = shape("bust");
    EXPECT_THAT(notesOf(bust), testing::MatchesRegex(".*normals stray 1[0-3] degrees from its surface.*--normals smooth "
                                                     "recomputes them.*"));
    EXPECT_EQ(notesOf(bust, NormalSource::Smooth), "");
    EXPECT_EQ(notesOf(bust, NormalSource::Flat), "");

    std::string prism;
    const double pi = 3.14159265358979323846;
    for (int side = 0; side < 2; ++side)
        for (int i = 0; i < 8; ++i)
            prism += "v " + std::to_string(std::cos(pi * i / 4)) + (side ? " 1 " : " -1 ") +
                     std::to_string(std::sin(pi * i / 4)) + "\n";
    for (int i = 0; i < 8; ++i)
        prism += "vn " + std::to_string(std::cos(pi * i / 4)) + " 0 " + std::to_string(std::sin(pi * i / 4)) + "\n";
    prism += "vn 0 -1 0\nvn 0 1 0\n";
    for (int i = 0; i < 8; ++i) {
        const int a = i + 1, b = (i + 1) % 8 + 1;
        prism += "f " + std::to_string(a) + "//" + std::to_string(a) + " " + std::to_string(a + 8) + "//" +
                 std::to_string(a) + " " + std::to_string(b + 8) + "//" + std::to_string(b) + " " + std::to_string(b) +
                 "//" + std::to_string(b) + "\n";
    }
    prism += "f 1//9 2//9 3//9 4//9\nf 1//9 4//9 5//9 6//9\nf 1//9 6//9 7//9 8//9\n";
    prism += "f 16//10 15//10 14//10 13//10\nf 16//10 13//10 12//10 11//10\nf 16//10 11//10 10//10 9//10\n";
    for (const std::string& path : {shape("blob"), shape("cad"), write("prism.obj", prism)})
        EXPECT_EQ(notesOf(path), "") << path;
}

TEST_F(Meshes, EdgesSharedByThreeFacesOrWoundApartDoNotCancel)
{
    const std::string path = write("fin.obj",
                                   "v -1 0 -1\nv 1 0 -1\nv 1 0 1\nv -1 0 1\nv -1 0.8 0\nv 1 0.8 0\nv -1 0 0\nv 1 0 0\n"
                                   "f 1 7 8\nf 1 8 2\n"     // the plate's far half
                                   "f 7 8 3\nf 7 3 4\n"     // its near half, wound the other way
                                   "f 7 8 6\nf 7 6 5\n");   // the fin on the shared edge
    const Mesh m = loadObjMesh(path, MeshOptions(), "--scene");
    for (std::size_t i = 0; i < m.positions.size(); ++i) {
        EXPECT_NEAR(length(m.normals[i]), 1.0f, 1e-5f);
        if (m.normals[i].y != 0.0f || std::fabs(m.normals[i].z) < 0.5f) {  // a plate normal, not the fin's
            EXPECT_GT(std::fabs(m.normals[i].y), 0.99f) << "vertex " << i;
        }
    }
}

// A z-up file loaded with UpAxis::Z is the y-up model.
TEST_F(Meshes, AZUpModelStandsUp)
{
    shapes::Options zUp;
    zUp.zUp = true;
    MeshOptions asZ;
    asZ.up = UpAxis::Z;
    const Scene upright = loadObjScene(shape("cad"), MeshOptions());
    const Scene stood = loadObjScene(shape("cad", zUp, "cadZ"), asZ);
    const Scene lying = loadObjScene(shape("cad", zUp, "cadZ"), MeshOptions());
    ASSERT_EQ(upright.meshes[0].positions.size(), stood.meshes[0].positions.size());
    for (std::size_t i = 0; i < upright.meshes[0].positions.size(); ++i) {
        EXPECT_LT(length(upright.meshes[0].positions[i] - stood.meshes[0].positions[i]), 1e-5f);
        EXPECT_LT(length(upright.meshes[0].normals[i] - stood.meshes[0].normals[i]), 1e-5f);
    }
    EXPECT_LT(differing(picture(upright, true), picture(stood, true)), 0.002);
    // A placed y-up scene stood up afterwards (as the lookdev page does) is the same.
    Scene later = lying;
    standUp(later, UpAxis::Z);
    for (std::size_t i = 0; i < upright.meshes[0].positions.size(); ++i)
        EXPECT_LT(length(later.meshes[0].positions[i] - stood.meshes[0].positions[i]), 1e-5f);
}

// Framing centres the silhouette, not the box: the machined part's picture
// has equal margins on the axis that does not touch, and fills the other.
TEST_F(Meshes, FramingCentresTheSilhouetteAtAnyAspect)
{
    const Scene part = loadObjScene(shape("cad"), MeshOptions());
    for (const auto& size : {std::pair<int, int>{120, 90}, {60, 140}, {200, 60}}) {
        SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second));
        Scene mayaOnly = part;
        const std::vector<float> rgb = picture(mayaOnly, true, size.first, size.second);
        const pictures::Stats s = pictures::measure(rgb.data(), size.first, size.second, 0.6f);
        EXPECT_LE(std::abs(s.left - s.right), 2);
        EXPECT_LE(std::abs(s.top - s.bottom), 2);
        // The tighter axis leaves 5 % of the picture on each side.
        const double share = std::min(static_cast<double>(s.left) / size.first, static_cast<double>(s.top) / size.second);
        EXPECT_NEAR(share, 0.05, 0.02);
    }
}

// The default picture of every generated shape shows both tones, in both
// panels; the models with clean normals have no isolated specks. The scan's
// noisy normals break the Maya panel's outline band into dots at any width
// (the band follows the normal, noise and all); at the built-in width fewer
// than at the old one, and under one pixel in two thousand.
TEST_F(Meshes, DefaultPicturesShowBothTonesWithoutSpecks)
{
    const int w = 640, h = 480;
    for (const std::string& name : shapes::names()) {
        SCOPED_TRACE(name);
        MeshOptions options;
        options.up = shapes::madeZUp(name) ? UpAxis::Z : UpAxis::Y;
        Scene scene = loadObjScene(shape(name), options);
        for (bool maya : {true, false}) {
            SCOPED_TRACE(maya ? "maya" : "mentalray");
            const std::vector<float> rgb = picture(scene, maya, w, h);
            const pictures::Stats s = pictures::measure(rgb.data(), w, h, 0.6f);
            EXPECT_GT(s.coolShare(), 0.1);
            EXPECT_GT(s.warmShare(), 0.1);
            if (name != "bust" || !maya) {
                EXPECT_EQ(s.specks, 0);
                continue;
            }
            scene.material.values = {{"outLineWidth", {0.25}}};
            const std::vector<float> wide = picture(scene, maya, w, h);
            EXPECT_LT(s.specks, pictures::measure(wide.data(), w, h, 0.6f).specks);
            EXPECT_LT(s.speckShare(), 0.0005);
        }
    }
}

// A large file is read and parsed a piece at a time: a fault met only in a
// later piece is told by its line as in a small file, and without it the
// file loads.
TEST_F(Meshes, AFaultFarIntoALargeFileIsToldByItsLine)
{
    std::string text;
    char line[64];
    int lines = 0;
    for (int i = 0; i < 320000; ++i, ++lines) {
        std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\n", std::sin(0.001 * i), std::cos(0.002 * i), 1e-6 * i);
        text += line;
    }
    text += "f 1 2 3\n";
    ASSERT_GT(text.size(), std::size_t(9) << 20) << "more than one piece";
    try {
        loadObjMesh(write("large.obj", text + "vn nan 0 0\n"), MeshOptions(), "--scene");
        ADD_FAILURE() << "a normal of nan was taken";
    } catch (const InputError& e) {
        EXPECT_THAT(e.what(), HasSubstr("large.obj': line " + std::to_string(lines + 2) + ": nan"));
    }
    const Mesh m = loadObjMesh(write("fine.obj", text), MeshOptions(), "--scene");
    EXPECT_EQ(m.triangles.size(), 1u);
    EXPECT_EQ(m.positions.size(), 3u);
}
