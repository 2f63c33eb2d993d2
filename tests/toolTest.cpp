// The coolwarm tool run as a user runs it: JSON in and out, images out.
#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <array>
#include <filesystem>
#include <set>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Single-precision worked values printed and read back.
constexpr float kTol = 1e-6f;
// The built-in scene's background, linear.
constexpr float kBackground = 0.6f;

struct Outcome {
    int status;
    std::string out, err;
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Tool : public testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("coolwarm-tool-" + std::to_string(getpid()) + "-" +
                                           testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // `setup`: shell commands run first in the tool's shell, such as limits.
    Outcome run(const std::string& arguments, const std::string& input = "", const std::string& setup = "") const
    {
        const std::string in = path("stdin"), out = path("stdout"), err = path("stderr");
        std::ofstream(in) << input;
        const std::string command = (setup.empty() ? "" : setup + "; exec ") + std::string(COOLWARM_BUILD_DIR) +
                                    "/bin/coolwarm " + arguments + " <" + in + " >" + out + " 2>" + err;
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
    }

    std::vector<json> lines(const std::string& text) const
    {
        std::vector<json> out;
        std::istringstream in(text);
        std::string line;
        while (std::getline(in, line))
            out.push_back(json::parse(line));
        return out;
    }

    fs::path dir;
};

// What the pixels of one panel of a linear (EXR) render are like.
struct PanelStats {
    int object = 0;      // pixels that are not the background
    int cool = 0, warm = 0;
    int silhouette = 0;  // object pixels beside the background
    int darkSilhouette = 0;
    int channels = 0, clipped = 0;
};

// Pixels [x0, x0 + width) of every row below the panel's label.
PanelStats panelStats(const OIIO::ImageBuf& image, int x0, int width, float background)
{
    const int height = image.spec().height, labelRows = 16;
    auto pixel = [&](int x, int y, float* rgb) { image.getpixel(x, y, rgb, 3); };
    auto isBackground = [&](int x, int y) {
        float c[3];
        pixel(x, y, c);
        return std::fabs(c[0] - background) < 1e-3f && std::fabs(c[1] - background) < 1e-3f &&
               std::fabs(c[2] - background) < 1e-3f;
    };
    PanelStats s;
    for (int y = labelRows; y < height; ++y)
        for (int x = x0; x < x0 + width; ++x) {
            float c[3];
            pixel(x, y, c);
            for (float v : c) {
                ++s.channels;
                s.clipped += v >= 1.0f;
            }
            if (isBackground(x, y))
                continue;
            ++s.object;
            if (c[2] > c[0] + 0.05f && c[2] > c[1] + 0.05f)
                ++s.cool;
            else if (c[0] > c[2] + 0.1f && c[1] > c[2] + 0.1f)
                ++s.warm;
            const bool edge = (x > x0 && isBackground(x - 1, y)) || (x + 1 < x0 + width && isBackground(x + 1, y)) ||
                              (y > labelRows && isBackground(x, y - 1)) || (y + 1 < height && isBackground(x, y + 1));
            if (edge) {
                ++s.silhouette;
                s.darkSilhouette += std::max({c[0], c[1], c[2]}) < 0.1f;
            }
        }
    return s;
}

}  // namespace

TEST_F(Tool, ShadeGivesTheWorkedValuesOfBothDeliverables)
{
    const std::string requests =
        R"({"node": {"color": [1, 0.5, 0], "alpha": 0.2, "beta": 0.6, "blue": 0.4, "yellow": 0.4, "diffuse": 0.8,)"
        R"( "outLineWidth": 0, "normalCamera": [0, 0, 1], "rayDirection": [0, 0, -1],)"
        R"( "lightDataArray": [{"lightDirection": [0, 0, 1], "lightAmbient": false}]}})"
        "\n"
        R"({"node": {"c": [1, 0.5, 0], "alp": 0.2, "bta": 0.6, "ble": 0.4, "ylw": 0.4, "olw": 0, "it": [0.25, 0.5, 1],)"
        R"( "n": [1, 0, 0], "rad": [0, 0, -1], "ltd": [{"lightDirection": [1, 0, 0], "lightAmbient": false}]},)"
        R"( "get": ["outTransparency", "outColorG"]})"
        "\n"
        R"({"shader": {"color": [1, 0.5, 0], "alpha": 0.2, "beta": 0.6, "blue": 0.4, "yellow": 0.4, "diffuse": 0.8,)"
        R"( "specularColor": [0, 0, 0], "light": ["key", "back"]}, "lights": {"key": {"samples":)"
        R"( [{"color": [1, 1, 1], "direction": [0, 0, 1]}, {"color": [1, 1, 1], "direction": [0, 0, -1]}]},)"
        R"( "back": {"samples": [{"color": [1, 1, 1], "direction": [0, 0, -1]}]}}, "result": [0.1, 0.2, 0.3, 0.5]})"
        "\n"
        R"({"shader": {"color": [1, 0.5, 0], "diffuse": 0, "computeIrradiance": true}, "irradiance": [1, 1, 1],)"
        R"( "connected": {"incandescence": [0.5, 0, 0]}})"
        "\n";
    const Outcome r = run("shade", requests);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<json> replies = lines(r.out);
    ASSERT_EQ(replies.size(), 4u);
    EXPECT_NEAR(replies[0]["outColor"][0].get<float>(), 0.16f, kTol);
    EXPECT_NEAR(replies[0]["outColor"][2].get<float>(), 0.32f, kTol);
    EXPECT_EQ(replies[0]["outTransparency"], json::array({0, 0, 0}));
    // Facing light, edge-on to the viewer with the outline off: the cool colour times (1 - Tr).
    EXPECT_NEAR(replies[1]["outColorG"].get<float>(), 0.08f * 0.5f, kTol);
    EXPECT_EQ(replies[1]["outTransparency"], json::array({0.25, 0.5, 1}));
    EXPECT_FALSE(replies[1].contains("outColor"));
    // key averages d = 1 and d = -1; back adds the warm colour; onto the incoming result.
    const json& result = replies[2]["result"];
    EXPECT_NEAR(result[0].get<float>(), 0.1f + 0.48f + 0.8f, kTol);
    EXPECT_NEAR(result[1].get<float>(), 0.2f + 0.32f + 0.56f, kTol);
    EXPECT_NEAR(result[2].get<float>(), 0.3f + 0.16f + 0.0f, kTol);
    EXPECT_EQ(result[3].get<float>(), 1.0f);
    // Irradiance term plus a connected incandescence.
    EXPECT_NEAR(replies[3]["result"][0].get<float>(), 0.5f + 0.31831f, 1e-5f);
    EXPECT_NEAR(replies[3]["result"][1].get<float>(), 0.159155f, 1e-5f);
}

TEST_F(Tool, ShadeReportsABadLineInItsPlaceAndGoesOn)
{
    const Outcome r = run("shade", "{\"node\": {}}\n{\"node\": {\"colr\": [1, 0, 0]}}\nnot json\n"
                               "{\"shader\": {\"light\": [\"nope\"]}}\n{\"node\": {\"color\": [1, 0]}}\n"
                               "{\"shader\": {\"colour\": [1, 1, 1]}}\n{\"node\": {}, \"shader\": {}}\n"
                               "{\"node\": {\"lightDataArray\": [{\"lightDirection\": true}]}}\n{\"shader\": {}}\n");
    EXPECT_EQ(r.status, 1);
    const std::vector<json> replies = lines(r.out);
    ASSERT_EQ(replies.size(), 9u);
    EXPECT_TRUE(replies[0].contains("outColor"));
    EXPECT_EQ(replies[1]["error"], "line 2: unknown attribute 'colr' of node coolwarm");
    EXPECT_THAT(replies[2]["error"].get<std::string>(), testing::StartsWith("line 3: not JSON"));
    EXPECT_EQ(replies[3]["error"], "line 4: unknown light 'nope' in parameter 'light'");
    EXPECT_EQ(replies[4]["error"], "line 5: attribute 'color' of node coolwarm takes 3 values, got 2");
    EXPECT_EQ(replies[5]["error"], "line 6: unknown parameter 'colour' of shader zarn_coolwarm");
    EXPECT_THAT(replies[6]["error"].get<std::string>(), testing::HasSubstr("not both"));
    EXPECT_THAT(replies[7]["error"].get<std::string>(), testing::HasSubstr("lightDirection"));
    EXPECT_TRUE(replies[8].contains("result"));
}

// One run answers every line with the same node and builders: what a request
// sets must not reach the next one, which answers as it would alone.
TEST_F(Tool, ShadeAnswersEachRequestAsIfItCameAlone)
{
    const std::string plainNode = R"({"node": {"normalCamera": [0, 0, 1]}, "get": ["outColor", "outTransparency"]})";
    const std::string plainShader = R"({"shader": {}, "state": {"normal": [0, 0, 1]}})";
    const std::string busyNode =
        R"({"node": {"color": [0.1, 0.9, 0.2], "transparency": [0.5, 0.5, 0.5], "outLineWidth": 0.9, "normalCamera": [0, 1, 0],)"
        R"( "lightDataArray": [{"lightDirection": [0, 0, 1], "lightIntensity": [3, 3, 3], "lightSpecular": true},)"
        R"( {"lightDirection": [1, 0, 0]}, {"lightDirection": [0, 1, 0]}]}})";
    const std::string busyShader =
        R"({"shader": {"color": [0.1, 0.9, 0.2], "computeIrradiance": true, "light": ["k"]}, "irradiance": [1, 1, 1],)"
        R"( "lights": {"k": {"type": "point", "position": [0, 0, 5]}}, "connected": {"incandescence": [0.5, 0, 0]},)"
        R"( "state": {"normal": [0, 1, 0], "point": [1, 1, 1]}, "result": [0.5, 0.5, 0.5, 0.5]})";
    const Outcome alone = run("shade", plainNode + "\n" + plainShader + "\n");
    ASSERT_EQ(alone.status, 0) << alone.err;
    // A failed request leaves nothing behind either.
    const std::string failedNode = R"({"node": {"color": [0, 0, 1], "alpha": "x"}})";
    const std::string failedShader = R"({"shader": {"color": [0, 0, 1], "diffuse": "x"}})";
    const Outcome after = run("shade", busyNode + "\n" + busyShader + "\n" + plainNode + "\n" + plainShader + "\n" +
                                           failedNode + "\n" + failedShader + "\n" + plainNode + "\n" + plainShader + "\n");
    EXPECT_EQ(after.status, 1) << after.err;
    std::vector<std::string> replies;
    std::istringstream in(after.out);
    for (std::string line; std::getline(in, line);)
        replies.push_back(line);
    ASSERT_EQ(replies.size(), 8u);
    EXPECT_NE(replies[0] + "\n" + replies[1] + "\n", alone.out) << "the busy requests answer differently";
    EXPECT_EQ(replies[2] + "\n" + replies[3] + "\n", alone.out);
    EXPECT_EQ(replies[6] + "\n" + replies[7] + "\n", alone.out);
}

// A connected parameter's value is checked as the parameter's own: a bad one is
// the request's fault, not the tool's.
TEST_F(Tool, ShadeRefusesABadConnectedValueAsBadInput)
{
    const Outcome r = run("shade", "{\"shader\": {}, \"connected\": {\"color\": [1, 2]}}\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "{\"error\": \"line 1: parameter 'color' of shader zarn_coolwarm (color) takes 3 or 4 values, got "
                     "2\"}\n");
}

TEST_F(Tool, DescribeShowsTheSchemaAndTheDeclaration)
{
    Outcome r = run("describe node");
    ASSERT_EQ(r.status, 0) << r.err;
    const json node = json::parse(r.out);
    EXPECT_EQ(node["name"], "coolwarm");
    EXPECT_EQ(node["id"], 467240);
    EXPECT_EQ(node["classification"], "shader/surface");
    EXPECT_EQ(node["kind"], "kDependNode");
    ASSERT_EQ(node["attributes"].size(), 68u);
    EXPECT_EQ(node["attributes"][22]["longName"], "outLineWidth");
    EXPECT_EQ(node["attributes"][22]["max"], 1.0);
    EXPECT_EQ(node["attributes"][67]["longName"], "lightDataArray");
    EXPECT_EQ(node["attributes"][67]["array"], true);

    r = run("describe shader");
    ASSERT_EQ(r.status, 0) << r.err;
    const json shader = json::parse(r.out);
    EXPECT_EQ(shader["version"], 1);
    EXPECT_EQ(shader["hints"]["nodeid"], 0x72129);
    ASSERT_EQ(shader["parameters"].size(), 15u);
    EXPECT_EQ(shader["parameters"][13]["name"], "irradianceColor");
    EXPECT_EQ(shader["parameters"][13]["offset"], 108);

    EXPECT_EQ(run("describe nodes").status, 1);
}

// The default picture sells the look in both panels: cool towards the key,
// warm away from it, nothing clipped, a dark outline on the Maya side only.
TEST_F(Tool, TheReadmesAttributeReferenceIsWhatDescribePrints)
{
    const Outcome r = run("describe --markdown");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string readme = slurp(std::string(COOLWARM_SOURCE_DIR) + "/README.md");
    const std::string begin = "<!-- coolwarm describe --markdown -->\n", end = "<!-- end of coolwarm describe --markdown -->";
    const std::size_t from = readme.find(begin), to = readme.find(end);
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    EXPECT_EQ(readme.substr(from + begin.size(), to - from - begin.size()), r.out)
        << "README.md's table differs from `coolwarm describe --markdown`: paste the output between the markers";

    // Every row has its eight cells; each name once; both sides' names.
    std::istringstream rows(r.out);
    std::string row;
    std::set<std::string> names;
    int count = 0;
    while (std::getline(rows, row)) {
        EXPECT_EQ(std::count(row.begin(), row.end(), '|'), 9) << row;
        if (++count > 2)
            EXPECT_TRUE(names.insert(row.substr(0, row.find(" |", 2))).second) << row;
    }
    EXPECT_EQ(names.size(), 17u);
    EXPECT_THAT(r.out, testing::HasSubstr("| `outLineWidth` | Out Line Width | Outline | float | 0.4 | 0 to 1 |"));
    EXPECT_THAT(r.out, testing::HasSubstr("| `computeIrradiance` | Compute Irradiance | Irradiance | boolean | off |"));
    EXPECT_THAT(r.out, testing::HasSubstr("| Maya, mental ray |\n"));
    EXPECT_THAT(r.out, testing::Not(testing::HasSubstr("normalCamera")));

    const Outcome both = run("describe node --markdown");
    EXPECT_EQ(both.status, 1);
    EXPECT_THAT(both.err, testing::HasSubstr("describe --markdown: give no node or shader"));
    const Outcome none = run("describe");
    EXPECT_EQ(none.status, 1);
    EXPECT_THAT(none.err, testing::HasSubstr("describe: say node or shader"));
}

TEST_F(Tool, DefaultRenderShowsCoolAndWarmTonesAndTheMayaOutline)
{
    const std::string file = path("default.exr");
    const Outcome r = run("render --size 320x240 --quiet --out " + file);
    ASSERT_EQ(r.status, 0) << r.err;
    OIIO::ImageBuf image(file);
    ASSERT_TRUE(image.read(0, 0, true, OIIO::TypeDesc::FLOAT)) << image.geterror();
    ASSERT_EQ(image.spec().width, 642);
    const PanelStats panels[2] = {panelStats(image, 0, 320, kBackground), panelStats(image, 322, 320, kBackground)};
    for (int p = 0; p < 2; ++p) {
        SCOPED_TRACE(p == 0 ? "maya" : "mentalray");
        const PanelStats& s = panels[p];
        EXPECT_GT(s.object, s.channels / 3 / 2) << "the objects fill much of the frame";
        EXPECT_GT(s.cool, s.object / 4) << "cool share";
        EXPECT_GT(s.warm, s.object / 6) << "warm share";
        EXPECT_LT(s.clipped, s.channels / 200) << "clipped channels";
    }
    // The ground's far edges are seen too steeply to be outlined.
    EXPECT_GT(panels[0].darkSilhouette, panels[0].silhouette / 3) << "the Maya panel outlines its silhouettes";
    EXPECT_LT(panels[1].darkSilhouette, panels[1].silhouette / 10) << "the shader draws no outline";
}

TEST_F(Tool, RenderLabelsBothPanelsAndNamesThemInTheMetadata)
{
    const std::string both = path("both.png");
    Outcome r = run("render --size 80x60 --samples 4 --threads 2 --out " + both);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, testing::HasSubstr("wrote " + both));
    OIIO::ImageBuf image(both);
    ASSERT_TRUE(image.read(0, 0, true, OIIO::TypeDesc::FLOAT));
    EXPECT_EQ(image.nativespec().width, 162) << "two panels and a separator";
    EXPECT_EQ(image.nativespec().get_string_attribute("coolwarm:panels"), "maya,mentalray");
    // The label's plate and its dark letters in each panel's corner.
    for (int x0 : {0, 82}) {
        int dark = 0;
        for (int y = 4; y < 11; ++y)
            for (int x = x0 + 4; x < x0 + 20; ++x) {
                float c[3];
                image.getpixel(x, y, c, 3);
                dark += c[0] < 0.2f;
            }
        EXPECT_GT(dark, 5) << "panel at " << x0;
    }
    r = run("render --renderer maya --size 80x60 --quiet --out " + path("one.exr"));
    ASSERT_EQ(r.status, 0) << r.err;
    OIIO::ImageBuf one(path("one.exr"));
    ASSERT_TRUE(one.read(0, 0, true, OIIO::TypeDesc::FLOAT));
    float corner[3];
    one.getpixel(6, 6, corner, 3);
    EXPECT_NEAR(corner[0], kBackground, 1e-3f) << "one panel needs no label";
}

TEST_F(Tool, RenderLoadsAnObjWithoutNormalsAndFramesItInAnyAspect)
{
    std::ofstream(path("cube.obj")) << "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\n"
                                       "v -1 1 1\nf 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 4 8 5 1\n";
    for (const std::string size : {"96x72", "40x120"}) {
        SCOPED_TRACE(size);
        // One file per size: OpenImageIO's cache may serve a file of the same name
        // read moments before.
        const std::string out = path("cube-" + size + ".exr");
        const Outcome r = run("render --renderer mentalray --scene " + path("cube.obj") + " --size " + size +
                              " --out " + out);
        ASSERT_EQ(r.status, 0) << r.err;
        OIIO::ImageBuf image(out);
        ASSERT_TRUE(image.read(0, 0, true, OIIO::TypeDesc::FLOAT));
        const int w = image.spec().width, h = image.spec().height;
        int object = 0;
        bool touchesEdge = false;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float c[3];
                image.getpixel(x, y, c, 3);
                const bool hit = std::fabs(c[0] - kBackground) > 1e-3f || std::fabs(c[2] - kBackground) > 1e-3f;
                object += hit;
                touchesEdge = touchesEdge || (hit && (x == 0 || y == 0 || x == w - 1 || y == h - 1));
            }
        EXPECT_GT(object, w * h / 5) << "the cube fills much of the frame";
        EXPECT_FALSE(touchesEdge) << "and all of it is in the frame";
    }
}

// A cube whose faces carry no normals: its faces stay flat (one colour each
// under a directional light); with a crease angle above 90 degrees its
// corners are smoothed over.
TEST_F(Tool, FacesWithoutNormalsAreSmoothedOnlyBelowTheCreaseAngle)
{
    std::ofstream(path("cube.obj")) << "v -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\n"
                                       "v -1 1 1\nf 1 2 3 4\nf 5 8 7 6\nf 1 5 6 2\nf 2 6 7 3\nf 3 7 8 4\nf 4 8 5 1\n";
    auto distinctColours = [&](const std::string& crease) {
        const std::string out = path("flat" + crease + ".exr");
        const Outcome r = run("render --renderer mentalray --scene " + path("cube.obj") + " --crease " + crease +
                              " --light key=off --light sun=-40,60 --set specularColor=0,0,0 --size 64x64 --out " + out);
        EXPECT_EQ(r.status, 0) << r.err;
        OIIO::ImageBuf image(out);
        EXPECT_TRUE(image.read(0, 0, true, OIIO::TypeDesc::FLOAT));
        std::set<std::array<float, 3>> colours;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                std::array<float, 3> c;
                image.getpixel(x, y, c.data(), 3);
                colours.insert(c);
            }
        return colours.size();
    };
    EXPECT_LE(distinctColours("40"), 4u) << "background and three flat faces";
    EXPECT_GT(distinctColours("120"), 50u) << "smoothed across the right angles";
}

TEST_F(Tool, SceneFileSetsCameraLightsBackgroundMaterialAndMeshes)
{
    std::ofstream(path("part.obj")) << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    std::ofstream(path("scene.json")) << R"({
        "camera": {"azimuth": 0, "elevation": 0, "distance": 6, "target": [0, 0, 0]},
        "lights": [{"name": "sun", "type": "directional", "direction": [0, 0, -1], "intensity": 1,
                    "renderers": ["maya", "mentalray"]}],
        "background": [0.1, 0.2, 0.3],
        "material": {"color": [1, 0, 0], "alpha": 1, "blue": 0, "diffuse": 1, "specularColor": [0, 0, 0],
                     "outLineWidth": 0},
        "meshes": [{"builtin": "sphere", "scale": 0.5}, {"obj": "part.obj", "translate": [5, 0, 0]}]})";
    const Outcome r = run("render --scene " + path("scene.json") + " --size 64x64 --quiet --out " + path("s.exr"));
    ASSERT_EQ(r.status, 0) << r.err;
    OIIO::ImageBuf image(path("s.exr"));
    ASSERT_TRUE(image.read(0, 0, true, OIIO::TypeDesc::FLOAT));
    float corner[3], centre[3];
    image.getpixel(1, 63, corner, 3);
    EXPECT_NEAR(corner[0], 0.1f, 1e-3f);
    EXPECT_NEAR(corner[2], 0.3f, 1e-3f);
    // The sphere faces the light head-on at the centre: the cool colour, which
    // with alpha 1 and no blue is the surface colour; both panels agree.
    for (int x0 : {0, 66}) {
        image.getpixel(x0 + 32, 32, centre, 3);
        EXPECT_NEAR(centre[0], 1.0f, 0.02f);
        EXPECT_NEAR(centre[1], 0.0f, 0.02f);
    }
}

TEST_F(Tool, SceneAndLookFileErrorsNameTheFileTheFieldAndTheProblem)
{
    struct Case {
        std::string json, field, problem;
    };
    const Case cases[] = {
        {"[1, 2]", "the file", "expected an object"},
        {"{\"meshes\": []}", "meshes", "non-empty list"},
        {"{\"meshes\": [{\"builtin\": \"teapot\"}]}", "meshes[0].builtin", "unknown built-in mesh 'teapot'"},
        {"{\"meshes\": [{\"builtin\": \"box\", \"scale\": 0}]}", "meshes[0].scale", "flattens"},
        {"{\"meshes\": [{\"obj\": \"nowhere.obj\"}]}", "meshes[0].obj", "cannot open"},
        {"{\"meshes\": [{\"builtin\": \"box\", \"translate\": [1, 2]}]}", "meshes[0].translate", "three numbers"},
        {"{\"meshes\": [{\"builtin\": \"box\"}], \"lights\": [{\"type\": \"spot\"}]}", "lights[0].type",
         "unknown light type 'spot'"},
        {"{\"meshes\": [{\"builtin\": \"box\"}], \"lights\": [{\"position\": [0, 1, 0], \"intensity\": \"bright\"}]}",
         "lights[0].intensity", "expected a number"},
        {"{\"meshes\": [{\"builtin\": \"box\"}], \"lights\": [{\"type\": \"directional\"}]}", "lights[0]",
         "needs a \"direction\""},
        {"{\"meshes\": [{\"builtin\": \"box\"}], \"lights\": [{\"position\": [0, 1, 0], \"renderers\": [\"vray\"]}]}",
         "lights[0].renderers[0]", "unknown renderer"},
        {"{\"meshes\": [{\"builtin\": \"box\"}], \"camera\": {\"elevation\": 120}}", "camera.elevation",
         "out of range"},
        {"{\"meshes\": [{\"builtin\": \"box\"}], \"camera\": {\"zoom\": 2}}", "camera.zoom", "unknown field"},
        {"{\"meshes\": [{\"builtin\": \"box\"}], \"background\": [0.5, -1, 0]}", "background[1]", "out of range"},
        {"{\"meshes\": [{\"builtin\": \"box\"}], \"material\": {\"color\": \"red\"}}", "material.color",
         "expected a number"},
        {"{\"meshes\": [{\"builtin\": \"box\"}], \"material\": {\"colr\": 1}}", "material colr",
         "unknown attribute or parameter 'colr'"},
        {"{\"meshes\": [{\"builtin\": \"box\"}],", "not JSON", ""},
    };
    const std::string out = path("out.png");
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        const std::string file = path("scene" + std::to_string(++index) + ".json");
        std::ofstream(file) << c.json;
        const Outcome r = run("render --scene " + file + " --size 32x24 --out " + out);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.err, testing::StartsWith("coolwarm: --scene '" + file + "'"));
        EXPECT_THAT(r.err, testing::HasSubstr(c.field));
        EXPECT_THAT(r.err, testing::HasSubstr(c.problem));
        EXPECT_FALSE(fs::exists(out));
    }
    std::ofstream(path("look.json")) << "{\"alpha\": [1, 2, 3, 4]}";
    const Outcome r = run("render --look " + path("look.json") + " --size 32x24 --out " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, testing::HasSubstr("--look '" + path("look.json") + "': alpha: expected a number"));
}

TEST_F(Tool, LooksChooseTheMaterialOfAnyScene)
{
    std::ofstream(path("tri.obj")) << "v -1 -1 0\nv 1 -1 0\nv 0 1 0\nvn 0 0 1\nf 1//1 2//1 3//1\n";
    std::ofstream(path("red.json")) << "{\"color\": [1, 0, 0], \"alpha\": 1, \"beta\": 1, \"blue\": 0, "
                                       "\"yellow\": 0, \"diffuse\": 1, \"specularColor\": [0, 0, 0], "
                                       "\"maya:outLineWidth\": 0}";
    int renders = 0;
    auto centre = [&](const std::string& look) {
        // A file name of its own each time: the image reader caches by name.
        const std::string out = path("look" + std::to_string(++renders) + ".exr");
        const Outcome r = run("render --renderer maya --scene " + path("tri.obj") + " --camera 0,0 --look " + look +
                              " --size 32x32 --quiet --out " + out);
        EXPECT_EQ(r.status, 0) << r.err;
        OIIO::ImageBuf image(out);
        EXPECT_TRUE(image.read(0, 0, true, OIIO::TypeDesc::FLOAT));
        std::array<float, 3> c{};
        image.getpixel(16, 18, c.data(), 3);
        return c;
    };
    const std::array<float, 3> red = centre(path("red.json")), builtin = centre("builtin"), node = centre("node");
    EXPECT_GT(red[0], 0.9f);
    EXPECT_LT(red[2], 0.01f);
    EXPECT_GT(builtin[0], builtin[2]) << "the built-in look's warm orange";
    EXPECT_NEAR(node[0], node[1], 0.01f) << "the node's grey defaults";
}

TEST_F(Tool, AnImageCarriesItsLookAndRenderingWithItGivesTheSamePixels)
{
    std::ofstream(path("scene.json")) << R"({"material": {"blue": 0.3},
        "meshes": [{"builtin": "sphere"}, {"builtin": "ground", "scale": 2}]})";
    std::ofstream(path("warm.json")) << R"({"color": [0.7, 0.2, 0.15], "mentalray:eccentricity": 12})";
    for (const char* type : {"png", "tif", "exr"}) {
        const std::string first = path(std::string("first.") + type), again = path(std::string("again.") + type);
        Outcome r = run("render --scene " + path("scene.json") + " --look " + path("warm.json") +
                        " --set diffuse=0.6 --set maya:specularRollOff=0.33 --size 48x36 --quiet --out " + first);
        ASSERT_EQ(r.status, 0) << r.err;
        OIIO::ImageBuf image(first);
        ASSERT_TRUE(image.read(0, 0, true, OIIO::TypeDesc::FLOAT)) << type;
        const std::string description = image.nativespec().get_string_attribute("ImageDescription");
        // The command line, and the look drawn: the file's, the scene's, the --sets.
        const std::string commandLine = std::string(type) == "tif" ? description
                                        : std::string(image.nativespec().get_string_attribute("coolwarm:commandLine"));
        EXPECT_THAT(commandLine, testing::HasSubstr("render --scene " + path("scene.json")));
        r = run("export --format json --look " + first);
        ASSERT_EQ(r.status, 0) << r.err;
        const json look = json::parse(r.out);
        EXPECT_EQ(look["color"], json({0.7, 0.2, 0.15})) << type;
        EXPECT_EQ(look["blue"], 0.3) << type;
        EXPECT_EQ(look["diffuse"], 0.6) << type;
        EXPECT_EQ(look["maya:specularRollOff"], 0.33) << type;
        EXPECT_EQ(look["mentalray:eccentricity"], 12) << type;

        // With the image as the look, the built-in scene's look is not used.
        r = run("render --scene " + path("scene.json") + " --look " + first + " --size 48x36 --quiet --out " + again);
        ASSERT_EQ(r.status, 0) << r.err;
        OIIO::ImageBuf second(again);
        ASSERT_TRUE(second.read(0, 0, true, OIIO::TypeDesc::FLOAT));
        std::vector<float> a(48 * 2 + 2), b(a.size());
        for (int y = 0; y < 36; ++y) {
            image.get_pixels(OIIO::ROI(0, 98, y, y + 1, 0, 1, 0, 1), OIIO::TypeDesc::FLOAT, a.data());
            second.get_pixels(OIIO::ROI(0, 98, y, y + 1, 0, 1, 0, 1), OIIO::TypeDesc::FLOAT, b.data());
            ASSERT_EQ(a, b) << type << " row " << y;
        }
    }
    // An image the tool did not write, or that is no image.
    const Outcome r = run("render --look " + path("warm.json.png") + " --quiet --out " + path("x.png"));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, testing::HasSubstr("--look '" + path("warm.json.png") + "': cannot read the image"));
    EXPECT_FALSE(fs::exists(path("x.png")));
}

TEST_F(Tool, ExportWritesTheLookForEachHost)
{
    Outcome r = run("export --format mi --set mentalray:diffuse=0.25 --set outLineWidth=0.5 --name orange_1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, testing::HasSubstr("shader \"orange_1\" \"zarn_coolwarm\" (\n    \"color\" 0.9 0.45 0.1,\n"
                                          "    \"diffuse\" 0.25,"));
    EXPECT_THAT(r.out, testing::Not(testing::HasSubstr("outLineWidth")));
    r = run("export --format mel --look node --set maya:diffuse=0.25 --set outLineWidth=0.5");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, testing::HasSubstr("setAttr ($node + \".diffuse\") 0.25;\n"
                                          "    setAttr ($node + \".outLineWidth\") 0.5;\n}\n"));

    // To a file written whole; JSON is the look file, read back by --look.
    r = run("export --format json --set diffuse=0.5 --out " + path("look.json"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty());
    r = run("export --format json --look " + path("look.json"));
    EXPECT_EQ(r.out, slurp(path("look.json")));

    const std::pair<const char*, const char*> bad[] = {
        {"export", "--format is required"},
        {"export --format obj", "--format 'obj': expected mel, mel-preset, mi or json"},
        {"export --format mel --name 'a b'", "--name 'a b': expected a name of letters"},
        {"export --format mel --set shine=1", "--set shine: unknown attribute or parameter 'shine'"},
        {"export --format mel --look /nonexistent/look.json", "--look '/nonexistent/look.json': cannot open the file"},
        {"export --format mel --out /nonexistent/dir/look.mel", "--out '/nonexistent/dir/look.mel'"},
    };
    for (const auto& c : bad) {
        r = run(c.first);
        EXPECT_EQ(r.status, 1) << c.first;
        EXPECT_THAT(r.err, testing::HasSubstr(c.second)) << c.first;
    }
}

TEST_F(Tool, ContactSheetShowsAGridOfLabelledSwatches)
{
    const Outcome r = run("render --renderer maya --sweep alpha=0:1:3 --sweep blue=0:0.6:2 --size 40x30 --out " +
                          path("sheet.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    OIIO::ImageBuf image(path("sheet.png"));
    ASSERT_TRUE(image.read());
    // Three columns and two rows of swatches, each with a two-line label; the
    // columns widen to the widest label, "alpha 0.5" (9 characters of 6 dots,
    // less the last one's spacing, and a margin of 3 on each side).
    EXPECT_EQ(image.spec().width, 3 * (9 * 6 - 1 + 6 + 2) - 2);
    EXPECT_EQ(image.spec().height, 2 * (30 + 2 * 10 + 3 + 2) - 2);
    for (const char* bad : {"alpha=0:1", "alpha=0:1:1", "alpha=0:1:x", "alpha=1,0:1:3", "nothing=0:1:3"}) {
        SCOPED_TRACE(bad);
        const Outcome b = run(std::string("render --sweep ") + bad + " --out " + path("bad.png"));
        EXPECT_EQ(b.status, 1);
        EXPECT_THAT(b.err, testing::StartsWith("coolwarm: --sweep"));
        EXPECT_FALSE(fs::exists(path("bad.png")));
    }
}

TEST_F(Tool, CommandLineSpeaksClearly)
{
    Outcome r = run("--version");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, testing::HasSubstr("coolwarm tool 1."));
    EXPECT_THAT(r.out, testing::HasSubstr("API version 200900"));
    EXPECT_THAT(r.out, testing::HasSubstr("zarn_coolwarm version 1"));

    r = run("rendr");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, testing::StartsWith("coolwarm: unknown command 'rendr'"));
    EXPECT_THAT(r.err, testing::HasSubstr("shade, describe, render, serve and export"));

    // The option parser's complaints carry the prefix too, and so does every line.
    for (const char* bad : {"", "render --samples 0", "render --sizee 3", "describe", "render --renderer vray"}) {
        SCOPED_TRACE(bad);
        r = run(bad);
        EXPECT_EQ(r.status, 1);
        std::istringstream lines(r.err);
        std::string line;
        int count = 0;
        while (std::getline(lines, line)) {
            ++count;
            EXPECT_THAT(line, testing::StartsWith("coolwarm:"));
        }
        EXPECT_GT(count, 0);
    }

    // Notes for a setting that reaches one panel only or that the node clamps.
    r = run("render --size 32x24 --set outLineWidth=2 --set computeIrradiance=on --set diffuse=0.5 --out " +
            path("n.png"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, testing::HasSubstr("coolwarm: note: --set outLineWidth changes the Maya panel only"));
    EXPECT_THAT(r.err, testing::HasSubstr("coolwarm: note: --set outLineWidth: 2 is clamped to 1"));
    EXPECT_THAT(r.err, testing::HasSubstr("coolwarm: note: --set computeIrradiance changes the mental ray panel only"));
    EXPECT_THAT(r.err, testing::Not(testing::HasSubstr("diffuse")));

    // Progress lines with a percentage and a time when standard error is a file.
    r = run("render --size 64x48 --progress-every 0 --out " + path("p.png"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, testing::ContainsRegex("coolwarm: rendering +[0-9]+% .* after [0-9.]+ s"));
    EXPECT_THAT(r.err, testing::HasSubstr("coolwarm: rendering 100%"));
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no bar drawn into a file";
}

TEST_F(Tool, BadInputExitsOneNamesTheInputAndWritesNothing)
{
    std::ofstream(path("broken.obj")) << "v 0 0 0\nv 1 0 0\nf 1 2 7\n";
    std::ofstream(path("empty.obj")) << "# nothing here\nv 0 0 0\n";
    struct Case { std::string arguments, mentions; };
    const std::string out = path("out.png");
    const Case cases[] = {
        {"render --scene " + path("missing.obj"), "missing.obj"},
        {"render --scene " + path("broken.obj"), "broken.obj"},
        {"render --scene " + path("empty.obj"), "empty.obj"},
        {"render --set colr=1,0,0", "colr"},
        {"render --set color=1,x,0", "color=1,x,0"},
        {"render --set color=1,0", "color"},
        {"render --set diffuse", "diffuse"},
        {"render --size 0x10", "--size"},
        {"render --renderer mentalray --set outLineWidth=0.2", "outLineWidth"},
        {"render --camera 30", "--camera '30'"},
        {"render --camera 30,100", "elevation"},
        {"render --light key=1,x", "--light 'key=1,x'"},
        {"render --light rim=off", "no light 'rim' (it has: key, fill)"},
        {"render --background 0.5,0.5", "--background"},
        {"render --look nowhere.json", "nowhere.json"},
        {"render --scene " + path("missing.json"), "missing.json"},
        {"render --sweep a=0:1:2 --sweep b=0:1:2 --sweep c=0:1:2", "at most two"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome r = run(c.arguments + " --size 32x24 --out " + out);
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.err, testing::HasSubstr(c.mentions));
        EXPECT_FALSE(fs::exists(out));
    }
    const Outcome r = run("render --size 32x24 --out /nonexistent-folder/x.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, testing::HasSubstr("/nonexistent-folder/x.png"));
    const Outcome type = run("render --size 32x24 --out " + path("x.bmpx"));
    EXPECT_EQ(type.status, 1);
    EXPECT_THAT(type.err, testing::HasSubstr("x.bmpx"));
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_THAT(entry.path().filename().string(), testing::Not(testing::HasSubstr(".part")));
}

// Image regression: each folder under tests/images holds the command's
// arguments (run from that folder, so that it may name files beside it) and
// the reference image it must reproduce. A folder with a `shapes` file runs
// its command where those generated shapes were written instead (each line:
// shapeSurvey's `write` arguments, NAME first, giving NAME.obj).
TEST_F(Tool, ImagesMatchTheirReferences)
{
    // A pixel fails when a channel is off by more than this (8-bit: about 5 levels).
    constexpr float kFailThreshold = 0.02f;
    // Edges may move by a pixel between processors' ray casting paths.
    constexpr double kMaxFailedShare = 0.005;
    constexpr double kMaxMeanError = 0.002;
    const fs::path cases = fs::path(COOLWARM_SOURCE_DIR) / "tests" / "images";
    int count = 0;
    for (const auto& entry : fs::directory_iterator(cases)) {
        if (!entry.is_directory())
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        ++count;
        std::string arguments = slurp((entry.path() / "command").string());
        while (!arguments.empty() && (arguments.back() == '\n' || arguments.back() == ' '))
            arguments.pop_back();
        const std::string rendered = path(entry.path().filename().string() + ".png");
        fs::path from = entry.path();
        if (fs::exists(entry.path() / "shapes")) {
            from = dir / ("shapes-" + entry.path().filename().string());
            fs::create_directories(from);
            std::istringstream lines(slurp((entry.path() / "shapes").string()));
            for (std::string line; std::getline(lines, line);) {
                if (line.empty())
                    continue;
                const std::string write = std::string(COOLWARM_BUILD_DIR) + "/bin/shapeSurvey write '" + from.string() + "' ";
                ASSERT_EQ(std::system((write + line).c_str()), 0) << line;
            }
        }
        const Outcome r = run(arguments + " --quiet --out " + rendered, "", "cd '" + from.string() + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        OIIO::ImageBuf reference((entry.path() / "reference.png").string()), actual(rendered);
        ASSERT_TRUE(reference.read()) << reference.geterror();
        ASSERT_TRUE(actual.read()) << actual.geterror();
        ASSERT_EQ(reference.roi().width(), actual.roi().width());
        ASSERT_EQ(reference.roi().height(), actual.roi().height());
        const OIIO::ImageBufAlgo::CompareResults c =
            OIIO::ImageBufAlgo::compare(actual, reference, kFailThreshold, kFailThreshold / 2);
        const double pixels = static_cast<double>(reference.roi().npixels());
        EXPECT_LE(static_cast<double>(c.nfail) / pixels, kMaxFailedShare) << "max error " << c.maxerror;
        EXPECT_LE(c.meanerror, kMaxMeanError);
    }
    EXPECT_GT(count, 0) << "no image cases under " << cases;
}

// A file is whole or absent: a write that fails, whatever the format, leaves
// the earlier file at the path untouched and no temporary file behind. A file
// size limit (with SIGXFSZ ignored, as a full disk gives no signal) makes
// every write past it fail; a small tmpfs, when one can be mounted, is a real
// full disk.
TEST_F(Tool, AnImageThatCannotBeWrittenWholeIsNotWritten)
{
    auto check = [this](const fs::path& folder, const std::string& setup, const std::string& reason) {
        for (const char* type : {"png", "jpg", "exr", "tif"}) {
            SCOPED_TRACE(std::string(type) + " " + reason);
            const std::string target = (folder / (std::string("x.") + type)).string();
            std::ofstream(target) << "earlier";
            const Outcome r = run("render --size 800x600 --out " + target, "", setup);
            EXPECT_EQ(r.status, 1);
            EXPECT_THAT(r.err, testing::HasSubstr("--out '" + target + "'"));
            EXPECT_THAT(r.err, testing::HasSubstr(reason));
            EXPECT_TRUE(slurp(target) == "earlier") << "the earlier file was replaced";
            for (const auto& entry : fs::directory_iterator(folder))
                EXPECT_THAT(entry.path().filename().string(), testing::Not(testing::HasSubstr(".part")));
        }
    };
    check(dir, "trap '' XFSZ; ulimit -f 16", "File too large");

    const fs::path small = dir / "small";
    fs::create_directories(small);
    if (geteuid() != 0 || std::system(("mount -t tmpfs -o size=64k tmpfs " + small.string() + " 2>/dev/null").c_str()))
        GTEST_SKIP() << "no tmpfs can be mounted here; the file size limit stood in for a full disk";
    struct Unmount {
        std::string folder;
        ~Unmount() { EXPECT_EQ(std::system(("umount " + folder).c_str()), 0); }
    } unmount{small.string()};
    check(small, "", "No space left on device");
}

TEST_F(Tool, ShadeAnswersEveryLineWhateverItsBytes)
{
    const std::string requests = std::string("{\"shader\": {\"\xff\": 1}}\n") +   // bad UTF-8 in a name
                                 "{\"node\": {\"color\": \"\xc3\x28\"}}\n" +       // in a value
                                 std::string("\xfe\xff\x00\x01\n", 5) +           // not JSON at all
                                 std::string(2 << 20, '[') + "\n" +               // longer than the limit
                                 "{\"shader\": {}, \"result\": [0.5, 0, 0]}\n";
    const Outcome r = run("shade", requests);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<json> replies = lines(r.out);  // each must be valid JSON
    ASSERT_EQ(replies.size(), 5u);
    for (int i = 0; i < 4; ++i)
        EXPECT_THAT(replies[i]["error"].get<std::string>(), testing::StartsWith("line " + std::to_string(i + 1) + ": "));
    EXPECT_THAT(replies[3]["error"].get<std::string>(), testing::HasSubstr("limit of 1048576 bytes"));
    EXPECT_EQ(replies[4]["result"][0], 0.5);
}

TEST_F(Tool, ShadeRefusesWorkBeyondItsLimitsBeforeDoingIt)
{
    auto area = [](const std::string& samples) {
        return "{\"shader\": {\"light\": [\"a\"]}, \"lights\": {\"a\": {\"type\": \"area\", \"samples\": " + samples +
               "}}}\n";
    };
    std::string manyLights = "{\"shader\": {}, \"lights\": {";
    for (int i = 0; i < 257; ++i)
        manyLights += (i ? ", \"" : "\"") + std::to_string(i) + "\": {\"type\": \"point\"}";
    manyLights += "}}\n";
    std::string manyNames = "{\"shader\": {\"light\": [";
    for (int i = 0; i < 257; ++i)
        manyNames += i ? ", \"a\"" : "\"a\"";
    manyNames += "]}, \"lights\": {\"a\": {\"type\": \"point\"}}}\n";
    const Outcome r = run("shade", area("2000000000") + area("4294967297") + area("0") + area("1.5") + manyLights +
                                       manyNames + area("1024"));
    EXPECT_EQ(r.status, 1);
    const std::vector<json> replies = lines(r.out);
    ASSERT_EQ(replies.size(), 7u);
    for (int i = 0; i < 4; ++i)
        EXPECT_THAT(replies[i]["error"].get<std::string>(),
                    testing::HasSubstr("light 'a' samples takes a whole number from 1 to 1024"));
    EXPECT_THAT(replies[4]["error"].get<std::string>(), testing::HasSubstr("\"lights\" has 257 entries, more than the limit of 256"));
    EXPECT_THAT(replies[5]["error"].get<std::string>(), testing::HasSubstr("parameter 'light' of shader zarn_coolwarm has 257"));
    EXPECT_TRUE(replies[6].contains("result"));
}

TEST_F(Tool, NumbersBeyondSinglePrecisionAreRefusedAndInfiniteResultsAreStrings)
{
    const Outcome r = run("shade", "{\"shader\": {\"diffuse\": 1e39}}\n"
                                   "{\"node\": {\"lightDataArray\": [{\"preShadowIntensity\": -1e39}]}}\n"
                                   "{\"shader\": {}, \"lights\": {\"k\": {\"type\": \"point\", \"intensity\": 1e39}}}\n"
                                   "{\"shader\": {\"diffuse\": 1e400}}\n"
                                   "{\"shader\": {\"color\": [3e38, 3e38, 3e38], \"diffuse\": 3e38, \"light\": [\"k\"]},"
                                   " \"lights\": {\"k\": {\"type\": \"point\", \"position\": [0, 0, 1]}}}\n");
    EXPECT_EQ(r.status, 1);
    const std::vector<json> replies = lines(r.out);
    ASSERT_EQ(replies.size(), 5u);
    EXPECT_THAT(replies[0]["error"].get<std::string>(), testing::HasSubstr("parameter 'diffuse' of shader zarn_coolwarm: 1e+39 is not a finite single-precision number"));
    EXPECT_THAT(replies[1]["error"].get<std::string>(), testing::HasSubstr("child 'preShadowIntensity': -1e+39 is not"));
    EXPECT_THAT(replies[2]["error"].get<std::string>(), testing::HasSubstr("light 'k' intensity: 1e+39 is not"));
    EXPECT_THAT(replies[3]["error"].get<std::string>(), testing::HasSubstr("1e400 is not a finite single-precision number"));
    EXPECT_EQ(replies[4]["result"], json::parse("[\"inf\", \"inf\", \"inf\", 1]"));

    for (const char* set : {"computeIrradiance=1e39", "computeIrradiance=3e9", "diffuse=-1e39", "color=1,inf,0"}) {
        SCOPED_TRACE(set);
        const Outcome s = run(std::string("render --renderer mentalray --size 8x8 --set ") + set + " --out " + path("x.png"));
        EXPECT_EQ(s.status, 1);
        EXPECT_THAT(s.err, testing::HasSubstr(std::string(set).substr(0, std::string(set).find('='))));
        EXPECT_FALSE(fs::exists(path("x.png")));
    }
}

TEST_F(Tool, ARenderBeyondItsLimitsOrTheMemoryIsRefusedUpFront)
{
    const Outcome big = run("render --size 16384x16384 --out " + path("x.png"));
    EXPECT_EQ(big.status, 1);
    EXPECT_THAT(big.err, testing::HasSubstr("--size 16384x16384: 268435456 pixels, more than the limit of 67108864"));
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "sanitizers reserve more address space than a limit would leave";
#else
    // 1.25 GiB of address space; 8192x8192 twice needs about 1.1 GiB beside what the tool itself takes.
    const Outcome tight = run("render --size 8192x8192 --out " + path("x.png"), "", "ulimit -v 1310720");
    EXPECT_EQ(tight.status, 1);
    EXPECT_THAT(tight.err, testing::HasSubstr("--size 8192x8192: the image needs about 1.13 GiB of memory, and only"));
    EXPECT_FALSE(fs::exists(path("x.png")));
#endif
}

// What loading a model noticed reaches the user as notes: normals turned to
// their faces' side, a crease angle the file's own normals leave nothing to do.
TEST_F(Tool, LoadingNotesReachTheUser)
{
    std::ofstream(path("turned.obj")) << "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0.2\nvn 0 0 1\nvn 0 0 -1\n"
                                         "f 1//1 2//1 3//1\nf 2//2 4//2 3//2\n";
    Outcome r = run("render --scene " + path("turned.obj") + " --crease 30 --size 16x12 --out " + path("x.png"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, testing::HasSubstr("coolwarm: note: --scene '" + path("turned.obj") +
                                          "': 1 of the file's 2 normals pointed against their faces"));
    EXPECT_THAT(r.err, testing::HasSubstr("the crease angle does nothing"));
    r = run("render --scene " + path("turned.obj") + " --normals smooth --crease 30 --size 16x12 --out " + path("x.png"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

TEST_F(Tool, MessagesNameTheRealProblem)
{
    std::ofstream(path("nan.obj")) << "v 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n";
    std::ofstream(path("inf.obj")) << "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 inf 1\nf 1 2 3\n";
    std::ofstream(path("big.obj")) << "v 0 0 0\nv 1 0 1e39\nv 0 1 0\nf 1 2 3\n";
    std::ofstream(path("hex.obj")) << "v 0x10 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    std::ofstream(path("up.json")) << R"({"meshes": [{"builtin": "box", "up": "z"}]})";
    std::ofstream(path("normals.json")) << R"({"meshes": [{"obj": "hex.obj", "normals": "wavy"}]})";
    struct Case { std::string arguments, message; };
    const Case cases[] = {
        {"render --scene " + path("nan.obj"), "--scene '" + path("nan.obj") + "': line 2: nan is not a finite"},
        {"render --scene " + path("inf.obj"), "--scene '" + path("inf.obj") + "': line 4: inf is not a finite"},
        {"render --scene " + path("big.obj"), "--scene '" + path("big.obj") + "': line 2: 1e39 is not a finite"},
        {"render --scene " + path("hex.obj"), "--scene '" + path("hex.obj") + "': line 1: '0x10' is not a decimal number"},
        {"render --scene " + dir.string(), "--scene '" + dir.string() + "': is a folder"},
        {"shade " + dir.string(), "shade: '" + dir.string() + "' is a folder"},
        {"render --scene /dev/zero", "--scene '/dev/zero': is a character device, not a regular file"},
        {"render --set color=1,2,3,4,5", "attribute 'color' of node coolwarm takes 3 values, got 5"},
        {"render --renderer mentalray --set color=1,2,3,4,5", "takes 3 or 4 values, got 5"},
        {"render --up x", "--up: x not in {y,z}"},
        {"render --up z", "--up: the built-in scenes are made y up"},
        {"render --normals wavy", "--normals: wavy not in {file,smooth,flat}"},
        {"render --scene " + path("up.json"), "meshes[0].up: only an OBJ mesh takes \"up\""},
        {"render --scene " + path("normals.json"), "meshes[0].normals: unknown normals 'wavy' (file, smooth or flat)"},
        // Standard output that cannot take what is printed.
        {"describe node", "writing to standard output failed: File too large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome r = run(c.arguments + (c.arguments.rfind("render", 0) == 0 ? " --size 8x8 --out " + path("x.png") : ""),
                              "", "trap '' XFSZ; ulimit -f 8");
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.err, testing::HasSubstr(c.message));
        EXPECT_FALSE(fs::exists(path("x.png")));
    }
}

// Every accepted value gives a picture and every other a refusal naming it:
// the extremes of each numeric option and scene-file field, drawn by both
// renderers, never end the process with a signal.
TEST_F(Tool, ExtremeValuesGiveAPictureOrARefusalNeverASignal)
{
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(path(name)) << text;
        return path(name);
    };
    const std::string tri = "f 1 2 3\n";
    const std::string far = write("far.obj", "v 1e16 1e16 1e16\nv 1e16 1e16 -1e16\nv -1e16 1e16 1e16\n" + tri);
    const std::string tiny = write("tiny.obj", "v 0 0 0\nv 1e-38 0 0\nv 0 1e-38 0\n" + tri);
    const std::string beyond = write("beyond.obj", "v 3e38 0 0\nv 0 3e38 0\nv 0 0 1\n" + tri);
    const std::string offset = write("offset.obj", "v 1e15 1e15 1e15\nv 1e15 1e15 1.0000001e15\nv 1e15 1.00001e15 1e15\n" + tri);
    auto scene = [&](const std::string& name, const std::string& fields) {
        return write(name + ".json", "{\"meshes\": [{\"builtin\": \"sphere\"}]" + fields + "}");
    };
    auto meshScene = [&](const std::string& name, const std::string& mesh) {
        return write(name + ".json", "{\"meshes\": [" + mesh + "]}");
    };
    // Accepted: each must give a picture.
    const std::vector<std::string> pictures = {
        "--camera 1e30,90,3e38",
        "--camera -3e38,-90,1e-38",
        "--camera 359.9,0.0001,1e18 --light key=3e38,90,3e38 --light fill=-3e38,-90,0 --light extra=1e-38,45,1e-38",
        "--background 3e38 --set color=3e38,3e38,3e38 --set diffuse=3e38 --set mentalray:eccentricity=1e-38",
        "--size 4096x1 --samples 64",
        "--scene " + far + " --crease 0",
        "--scene " + far + " --camera 45,45,1e-30",
        "--scene " + tiny + " --crease 180",
        "--scene " + offset + " --camera 10,10,1e-30 --light key=0,90",
        "--scene " + scene("camera", ", \"camera\": {\"distance\": 1e6, \"fov\": 1, \"target\": [1e6, -1e6, 1e6]}"),
        "--scene " + scene("fov", ", \"camera\": {\"azimuth\": -360, \"elevation\": 90, \"fov\": 170}"),
        "--scene " + scene("position", ", \"camera\": {\"position\": [1e6, -1e6, 1e6], \"target\": [-1e6, 1e6, -1e6]}"),
        "--scene " + scene("near", ", \"camera\": {\"distance\": 1e-6, \"target\": [1e6, 1e6, 1e6]}"),
        "--scene " + scene("lights", ", \"lights\": [{\"position\": [1e6, 1e6, -1e6], \"intensity\": 1e6, "
                                     "\"color\": [1e6, 0, 1e6]}, {\"position\": [0, 0, 0]}, {\"type\": "
                                     "\"directional\", \"direction\": [1e-19, 0, 0]}]"),
        "--scene " + meshScene("transforms", "{\"builtin\": \"torus\", \"translate\": [1e6, -1e6, 1e6], \"rotate\": "
                                             "[1e6, -1e6, 3e5], \"scale\": [1e6, -1e-30, 1e6]}"),
        "--sweep alpha=-3e38:3e38:2 --sweep beta=1e-38:1e38:2 --size 8x8",
        // Loading recentres a model in double precision, however far out it lies.
        "--scene " + meshScene("grown", "{\"obj\": \"far.obj\", \"scale\": 1e6}"),
    };
    // Refused: each must name what it refuses.
    const std::vector<std::pair<std::string, std::string>> refusals = {
        {"--scene " + beyond, "spans more than 1e35 units"},
        // A box framed at its own size of 1e-30 leaves the ground 1e36 box-sizes away.
        {"--scene " + meshScene("small", "{\"builtin\": \"box\", \"scale\": 1e-30}, {\"builtin\": \"ground\", "
                                         "\"scale\": -1e6}"),
         "beyond 1e16"},
        // A mesh left out of the framing, beyond what the renderer can frame.
        {"--scene " + meshScene("aside", "{\"builtin\": \"sphere\"}, {\"builtin\": \"ground\", \"translate\": [1e17, 0, 0]}"),
         "beyond 1e16"},
        {"--camera 1e39,0", "--camera"},
        {"--scene " + scene("nolength", ", \"lights\": [{\"type\": \"directional\", \"direction\": [1e-30, 0, 0]}]"),
         "lights[0].direction: the direction has no length"},
        {"--light key=0,0,1e39", "--light"},
        {"--scene " + scene("fovbig", ", \"camera\": {\"fov\": 1e39}"), "camera.fov"},
        {"--scene " + scene("huge", ", \"background\": 1e400"), "1e400 is not a finite single-precision number"},
    };
    for (int side = 0; side < 2; ++side)
        for (std::size_t i = 0; i < (side ? refusals.size() : pictures.size()); ++i) {
            const std::string args = side ? refusals[i].first : pictures[i];
            SCOPED_TRACE(args);
            const std::string size = args.find("--size") == std::string::npos ? "--size 24x16 " : "";
            const Outcome r = run("render --quiet " + size + args + " --out " + path("x.png"));
            ASSERT_TRUE(r.status == 0 || r.status == 1) << "status " << r.status << ": " << r.err;
            if (side == 0) {
                EXPECT_EQ(r.status, 0) << r.err;
                EXPECT_TRUE(fs::exists(path("x.png")));
            } else {
                EXPECT_EQ(r.status, 1);
                EXPECT_THAT(r.err, testing::StartsWith("coolwarm: "));
                EXPECT_THAT(r.err, testing::HasSubstr(refusals[i].second));
                EXPECT_FALSE(fs::exists(path("x.png")));
            }
            fs::remove(path("x.png"));
        }
}

// The temporary file beside the target is created afresh, never through a link
// planted at one of its names, with the mode the umask gives; only it is
// renamed over the target, and nothing planted is touched.
TEST_F(Tool, OutputNeverFollowsALinkPlantedAtATemporaryName)
{
    const std::string victim = path("victim.txt"), out = path("x.png");
    std::ofstream(victim) << "keep me";
    // The shell's own PID is the tool's: run() execs it.
    auto plant = [&](int count) {
        return "for i in $(seq 0 " + std::to_string(count - 1) + "); do s=-$i; [ $i = 0 ] && s=; ln -s " + victim +
               " " + dir.string() + "/.x.png.part$$$s; done; umask 027";
    };
    auto links = [&] {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(dir))
            n += fs::is_symlink(entry.symlink_status());
        return n;
    };

    const Outcome some = run("render --quiet --size 16x16 --out " + out, "", plant(5));
    EXPECT_EQ(some.status, 0) << some.err;
    EXPECT_EQ(slurp(victim), "keep me");
    EXPECT_EQ(links(), 5);
    ASSERT_TRUE(fs::exists(out));
    EXPECT_FALSE(fs::is_symlink(fs::symlink_status(out)));
    EXPECT_EQ(fs::status(out).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    for (const auto& entry : fs::directory_iterator(dir))
        if (!fs::is_symlink(entry.symlink_status()))
            EXPECT_THAT(entry.path().filename().string(), testing::Not(testing::HasSubstr(".part")));

    // Every name taken: a refusal, the earlier picture and the planted links kept.
    for (const auto& entry : fs::directory_iterator(dir))
        if (fs::is_symlink(entry.symlink_status()))
            fs::remove(entry.path());
    const std::string before = slurp(out);
    const Outcome all = run("render --quiet --size 16x16 --background 0 --out " + out, "", plant(100));
    EXPECT_EQ(all.status, 1);
    EXPECT_THAT(all.err, testing::HasSubstr("File exists"));
    EXPECT_EQ(slurp(victim), "keep me");
    EXPECT_EQ(slurp(out), before);
    EXPECT_EQ(links(), 100);
}

// Scene and look files go through the one JSON reading path: only regular
// files, nesting and size bounded, numbers and text checked; each a refusal
// naming the file, never a hang, a crash or an internal failure.
TEST_F(Tool, SceneAndLookFilesAreBadInputNeverAFailureOfTheTool)
{
    ASSERT_EQ(mkfifo(path("fifo.json").c_str(), 0600), 0);
    fs::create_directories(path("folder.json"));
    std::ofstream(path("deep.json")) << std::string(100000, '[') << std::string(100000, ']');
    std::ofstream(path("huge.json")) << "{\"color\": [1e400, 0, 0]}";
    std::ofstream(path("utf8.json")) << "{\"color\": \"\xc3\x28\"}";
    std::ofstream(path("big.json")) << "{\"color\": [1, 0, 0]" << std::string(5 << 20, ' ') << "}";
    struct Case { std::string file, message; };
    const Case cases[] = {
        {path("fifo.json"), "is a FIFO, not a regular file"},
        {path("folder.json"), "is a folder, not a regular file"},
        {"/dev/zero", "is a character device, not a regular file"},
        {path("deep.json"), "at byte 17: nests deeper than 16 levels"},
        {path("huge.json"), "at byte 12: 1e400 is not a finite single-precision number"},
        {path("utf8.json"), "at byte 12: not valid UTF-8"},
        {path("big.json"), "the file is larger than the limit of 4194304 bytes"},
    };
    // A hang is killed, and fails the test.
    const std::string watchdog = "(sleep 20; kill -9 $$) >/dev/null 2>&1 & :";
    for (const Case& c : cases)
        for (const char* option : {"--look", "--scene"}) {
            // Scenes take the same path: its kinds of file are enough for them
            // (and /dev/zero is not a .json name, so an OBJ's, refused alike).
            if (std::string(option) == "--scene" && (&c - cases > 1))
                continue;
            SCOPED_TRACE(std::string(option) + " " + c.file);
            const Outcome r = run(std::string("render --size 8x8 ") + option + " " + c.file + " --out " + path("x.png"),
                                  "", watchdog);
            EXPECT_EQ(r.status, 1);
            EXPECT_THAT(r.err, testing::HasSubstr(std::string(option) + " '" + c.file + "': " + c.message));
            EXPECT_FALSE(fs::exists(path("x.png")));
        }
    // shade's request lines take the same path.
    const Outcome shade = run("shade", std::string(100000, '[') + "\n");
    EXPECT_EQ(shade.status, 1);
    EXPECT_THAT(shade.out, testing::HasSubstr("line 1: the request: at byte 17: nests deeper than 16 levels"));
}

// Materials are not used: an mtllib line names a file that is never opened,
// whatever it is.
TEST_F(Tool, ObjMaterialLibrariesAreNeverOpened)
{
    ASSERT_EQ(mkfifo(path("pipe.mtl").c_str(), 0600), 0);
    std::ofstream(path("m.obj")) << "mtllib pipe.mtl\nmtllib /dev/zero\nmtllib " << dir.string()
                                 << "\nusemtl x\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    const Outcome r = run("render --quiet --size 8x8 --scene " + path("m.obj") + " --out " + path("x.png"), "",
                          "(sleep 20; kill -9 $$) >/dev/null 2>&1 & :");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(path("x.png")));
}

// Standard input that cannot be read is an error with the system's reason,
// not an empty run.
TEST_F(Tool, ShadeReportsAnUnreadableStandardInput)
{
    const std::string out = path("out"), err = path("err");
    const int raw = std::system((std::string(COOLWARM_BUILD_DIR) + "/bin/coolwarm shade < " + dir.string() + " >" +
                                 out + " 2>" + err).c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_EQ(slurp(out), "");
    EXPECT_EQ(slurp(err), "coolwarm: shade: reading standard input failed: Is a directory\n");
}
