// The lookdev server's JSON API, spoken to over HTTP as scripts and the page
// speak to it.
#include "serverProcess.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imagebuf.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <memory>

namespace fs = std::filesystem;
using nlohmann::json;
using testing::HasSubstr;

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<float> pixels;  // RGB
};

Picture decode(const std::string& bytes, const std::string& name)
{
    std::vector<unsigned char> data(bytes.begin(), bytes.end());
    OIIO::Filesystem::IOMemReader memory(data.data(), data.size());
    OIIO::ImageBuf buffer(name, 0, 0, nullptr, nullptr, &memory);
    Picture p;
    EXPECT_TRUE(buffer.read(0, 0, true, OIIO::TypeDesc::FLOAT)) << buffer.geterror();
    p.width = buffer.spec().width;
    p.height = buffer.spec().height;
    p.pixels.resize(static_cast<std::size_t>(p.width) * p.height * 3);
    buffer.get_pixels(buffer.roi(), OIIO::TypeDesc::FLOAT, p.pixels.data());
    return p;
}

class Serve : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        objDir = fs::temp_directory_path() / ("coolwarm-serve-" + std::to_string(getpid()));
        fs::create_directories(objDir);
        objPath = (objDir / "tetra.obj").string();
        std::ofstream(objPath) << "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 1 3 2\nf 1 2 4\nf 1 4 3\nf 2 3 4\n";
        server.reset(new ServerProcess({"--scene", objPath}));
    }
    static void TearDownTestSuite()
    {
        server.reset();
        fs::remove_all(objDir);
    }

    httplib::Client client() const
    {
        httplib::Client c(server->host(), server->port());
        c.set_read_timeout(120);
        return c;
    }

    httplib::Result render(const json& request) const
    {
        return client().Post("/api/render", request.dump(), "application/json");
    }

    // A rendered request decoded; fails the test unless the server said 200.
    Picture picture(const json& request) const
    {
        const httplib::Result r = render(request);
        EXPECT_TRUE(r);
        if (!r)
            return {};
        EXPECT_EQ(r->status, 200) << r->body;
        const std::string format = request.value("format", "png");
        EXPECT_EQ(r->get_header_value("Content-Type"), format == "png" ? "image/png" : "image/x-exr");
        return decode(r->body, "image." + format);
    }

    static fs::path objDir;
    static std::string objPath;
    static std::unique_ptr<ServerProcess> server;
};

fs::path Serve::objDir;
std::string Serve::objPath;
std::unique_ptr<ServerProcess> Serve::server;

const json* findByName(const json& list, const std::string& key, const std::string& name)
{
    for (const json& item : list)
        if (item.at(key) == name)
            return &item;
    return nullptr;
}

}  // namespace

TEST_F(Serve, ListensOnLoopbackAndReportsVersions)
{
    EXPECT_EQ(server->host(), "127.0.0.1");
    const httplib::Result r = client().Get("/api/version");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200);
    const json v = json::parse(r->body);
    EXPECT_EQ(v["tool"], "coolwarm");
    EXPECT_EQ(v["node"]["name"], "coolwarm");
    EXPECT_EQ(v["node"]["id"], 0x72128);
    EXPECT_EQ(v["shader"]["name"], "zarn_coolwarm");
    EXPECT_EQ(v["shader"]["version"], 1);
}

TEST_F(Serve, SchemaGroupsBothDeliverablesControlsAsTheAttributeEditorDoes)
{
    const httplib::Result r = client().Get("/api/schema");
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 200);
    const json s = json::parse(r->body);
    const json& controls = s["controls"];

    const std::map<std::string, std::vector<std::string>> groups{
        {"Cool/Warm Tones", {"color", "alpha", "beta", "blue", "yellow", "diffuse"}},
        {"Outline", {"outLineColor", "outLineWidth"}},
        {"Specular Shading", {"specularColor", "eccentricity", "specularRollOff"}},
        {"Common Material Attributes", {"transparency", "ambientColor", "incandescence", "translucence"}}};
    for (const auto& g : groups) {
        EXPECT_NE(std::find(s["groups"].begin(), s["groups"].end(), g.first), s["groups"].end()) << g.first;
        for (const std::string& name : g.second) {
            const json* c = findByName(controls, "name", name);
            ASSERT_TRUE(c) << name;
            EXPECT_EQ((*c)["group"], g.first) << name;
        }
    }
    // What the renderer fills per sample, and outputs, are not controls.
    for (const char* hidden : {"normalCamera", "pointCamera", "rayDirection", "lightDataArray", "outColor", "light",
                               "colorR"})
        EXPECT_FALSE(findByName(controls, "name", hidden)) << hidden;

    const json& color = *findByName(controls, "name", "color");
    EXPECT_EQ(color["type"], "color");
    EXPECT_EQ(color["renderers"], json({"maya", "mentalray"}));
    const json& width = *findByName(controls, "name", "outLineWidth");
    EXPECT_EQ(width["renderers"], json({"maya"}));
    EXPECT_EQ(width["min"], 0.0);
    EXPECT_EQ(width["max"], 1.0);
    const json& diffuse = *findByName(controls, "name", "diffuse");
    EXPECT_EQ(diffuse["softMin"], 0.0);
    EXPECT_EQ(diffuse["softMax"], 1.0);
    EXPECT_FLOAT_EQ(diffuse["default"].get<float>(), 0.8f);
    const json& irradiance = *findByName(controls, "name", "computeIrradiance");
    EXPECT_EQ(irradiance["type"], "boolean");
    EXPECT_EQ(irradiance["renderers"], json({"mentalray"}));

    ASSERT_EQ(s["scenes"].size(), 3u);
    EXPECT_EQ(s["scenes"][0]["id"], "built-in");
    // The tool's built-in look, which `render` uses too unless told otherwise.
    EXPECT_EQ(s["scenes"][0]["look"]["color"].size(), 3u);
    EXPECT_EQ(s["scenes"][0]["look"], s["scenes"][2]["look"]);
    EXPECT_EQ(s["scenes"][1]["id"], "swatch");
    EXPECT_EQ(s["scenes"][2]["id"], objPath);
    EXPECT_EQ(s["scenes"][2]["label"], "tetra.obj");
    EXPECT_EQ(s["limits"]["maxWidth"], 2048);
    EXPECT_EQ(s["limits"]["maxSamples"], 64);
    // The full schemas come along for scripts.
    EXPECT_EQ(s["node"]["name"], "coolwarm");
    EXPECT_EQ(s["shader"]["name"], "zarn_coolwarm");
}

TEST_F(Serve, RendersBothPanelsOrOneAsPngOrExr)
{
    const Picture both = picture({{"width", 64}, {"height", 48}});
    EXPECT_EQ(both.width, 2 * 64 + 2);
    EXPECT_EQ(both.height, 48);
    const Picture maya = picture({{"width", 64}, {"height", 48}, {"renderer", "maya"}});
    EXPECT_EQ(maya.width, 64);
    const Picture exr = picture({{"width", 40}, {"height", 30}, {"renderer", "mentalray"}, {"format", "exr"}});
    EXPECT_EQ(exr.width, 40);
    EXPECT_EQ(exr.height, 30);
    // EXR stays linear: the background grey as it is; PNG holds its sRGB encoding.
    EXPECT_NEAR(exr.pixels[0], 0.6f, 1e-3f);
    EXPECT_NEAR(both.pixels[0], 203.0f / 255.0f, 1e-3f);

    for (const char* scene : {"swatch", objPath.c_str()}) {
        const Picture p = picture({{"width", 32}, {"height", 24}, {"scene", scene}});
        EXPECT_EQ(p.width, 2 * 32 + 2) << scene;
    }
}

TEST_F(Serve, SettingsCameraAndLightChangeThePicture)
{
    const json base{{"width", 48}, {"height", 36}, {"scene", "swatch"}};
    const Picture plain = picture(base);
    json red = base;
    red["settings"] = {{"color", {1.0, 0.0, 0.0}}, {"alpha", 1.0}, {"blue", 0.0}, {"yellow", 0.0}};
    json orbited = base;
    orbited["camera"] = {{"azimuth", 90.0}, {"elevation", 60.0}};
    json dark = base;
    dark["light"] = {{"intensity", 0.0}};
    for (const json& changed : {red, orbited, dark}) {
        const Picture p = picture(changed);
        // Both panels answer: the Maya node's on the left, the shader's on the right.
        for (int panel = 0; panel < 2; ++panel) {
            float difference = 0.0f;
            for (int y = 0; y < 36; ++y)
                for (int x = 0; x < 48; ++x)
                    for (int k = 0; k < 3; ++k) {
                        const std::size_t i = 3 * (static_cast<std::size_t>(y) * p.width + panel * 50 + x) + k;
                        difference += std::fabs(p.pixels[i] - plain.pixels[i]);
                    }
            EXPECT_GT(difference, 1.0f) << changed.dump() << " panel " << panel;
        }
    }
}

TEST_F(Serve, NewerRequestSupersedesTheRunningRender)
{
    // Far too big to finish before the next request arrives.
    auto big = std::async(std::launch::async, [&] {
        return render({{"width", 2048}, {"height", 2048}, {"samples", 64}});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Picture small = picture({{"width", 16}, {"height", 12}});
    EXPECT_EQ(small.width, 2 * 16 + 2);
    const httplib::Result r = big.get();
    ASSERT_TRUE(r);
    ASSERT_EQ(r->status, 409) << r->body;
    const json why = json::parse(r->body);
    EXPECT_THAT(why["error"].get<std::string>(), HasSubstr("superseded"));
    // Stopped, whether it had started or was still waiting.
    EXPECT_LT(why["tilesDone"].get<int>(), 2 * 64 * 64);
}

TEST_F(Serve, QueuedRequestsGiveWayToTheNewest)
{
    // Five requests in flight at once, a small one last. Each render takes far
    // longer than the gaps between them, so only the one that reaches the
    // server last may finish; the client threads are not ordered on a loaded
    // machine, so which one that is is not asserted.
    std::vector<std::future<httplib::Result>> requests;
    for (int i = 0; i < 5; ++i) {
        const json size = i < 4 ? json{{"width", 1024}, {"height", 1024}, {"samples", 16}}
                                : json{{"width", 8}, {"height", 8}};
        requests.push_back(std::async(std::launch::async, [this, size] { return render(size); }));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    int finished = 0;
    for (auto& f : requests) {
        const httplib::Result r = f.get();
        ASSERT_TRUE(r);
        if (r->status == 200) {
            ++finished;
            continue;
        }
        EXPECT_EQ(r->status, 409);
        EXPECT_THAT(json::parse(r->body)["error"].get<std::string>(), HasSubstr("superseded"));
    }
    EXPECT_EQ(finished, 1);
}

TEST_F(Serve, BadRequestsAnswer400NamingTheProblemAndTheServerGoesOn)
{
    const std::pair<std::string, std::string> cases[] = {
        {"{\"width\": 64", "malformed JSON"},
        {"[1, 2]", "the request: expected an object"},
        {R"({"settings": {"glow": 1}})", "unknown attribute or parameter 'glow'"},
        {R"({"settings": {"outLineWidth": 1.5}})", "settings.outLineWidth: 1.5 is outside the range 0 to 1"},
        {R"({"settings": {"color": [1, 0]}})", "settings.color: expected a colour [r, g, b]"},
        {R"({"settings": {"alpha": "high"}})", "settings.alpha: expected a number"},
        {R"({"settings": {"computeIrradiance": 1}})", "settings.computeIrradiance: expected true or false"},
        {R"({"width": 4096})", "width: 4096 is outside the range 1 to 2048"},
        {R"({"height": 0})", "height: 0 is outside the range 1 to 2048"},
        {R"({"samples": 1000})", "samples: 1000 is outside the range 1 to 64"},
        {R"({"width": 10.5})", "width: expected a whole number"},
        {R"({"renderer": "prman"})", "renderer: expected"},
        {R"({"format": "tif"})", "format: expected \"png\" or \"exr\""},
        {R"({"scene": "/etc/passwd"})", "scene: unknown scene '/etc/passwd'"},
        {R"({"camera": {"elevation": 95}})", "camera.elevation: 95 is outside the range -90 to 90"},
        {R"({"camera": {"roll": 5}})", "camera: unknown field 'roll'"},
        {R"({"light": {"intensity": -1}})", "light.intensity: -1 is outside the range 0 to 10"},
        {R"({"out": "/tmp/x.png"})", "the request: unknown field 'out'"},
        {"[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]", "at byte 17: nests deeper than 16 levels"},
        // Bad input, never a failure of the server.
        {R"({"width": 1e400})", "1e400 is not a finite single-precision number"},
        {"{\"scene\": \"\xc3\x28\"}", "at byte 12: not valid UTF-8"},
        {R"({"settings": {"diffuse": -1e39}})", "settings.diffuse: -1e+39 is outside the range"},
    };
    for (const auto& c : cases) {
        const httplib::Result r = client().Post("/api/render", c.first, "application/json");
        ASSERT_TRUE(r) << c.first;
        EXPECT_EQ(r->status, 400) << c.first;
        EXPECT_THAT(json::parse(r->body)["error"].get<std::string>(), HasSubstr(c.second)) << c.first;
    }

    httplib::Result r = client().Post("/api/render", "{}", "text/plain");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
    EXPECT_THAT(r->body, HasSubstr("Content-Type: expected application/json"));

    r = client().Post("/api/render", std::string(100 * 1024, ' '), "application/json");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 413);

    r = client().Get("/etc/passwd");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404);

    EXPECT_EQ(picture({{"width", 8}, {"height", 8}}).width, 18);
}

TEST_F(Serve, RefusesRequestsAddressedToAnotherHost)
{
    const std::string port = ":" + std::to_string(server->port());
    const std::vector<std::string> refused{"attacker.example" + port, "attacker.example",
                                           "127.0.0.1:1" + port.substr(1), "127.0.0.1"};
    for (const std::string& host : refused) {
        const httplib::Result r = client().Get("/api/version", {{"Host", host}});
        ASSERT_TRUE(r) << host;
        EXPECT_EQ(r->status, 403) << host;
        EXPECT_THAT(r->body, HasSubstr("'" + host + "' is not the address this server serves")) << host;
    }
    const std::vector<std::string> served{"127.0.0.1" + port, "localhost" + port, "[::1]" + port};
    for (const std::string& host : served) {
        const httplib::Result r = client().Get("/", {{"Host", host}});
        ASSERT_TRUE(r) << host;
        EXPECT_EQ(r->status, 200) << host;
        EXPECT_THAT(r->body, HasSubstr("<title>coolwarm lookdev</title>"));
    }
}

TEST_F(Serve, ServesThePageItsScriptAndStyle)
{
    for (const auto& file : {std::make_pair("/", "text/html"), std::make_pair("/app.js", "text/javascript"),
                             std::make_pair("/style.css", "text/css")}) {
        const httplib::Result r = client().Get(file.first);
        ASSERT_TRUE(r) << file.first;
        EXPECT_EQ(r->status, 200) << file.first;
        EXPECT_THAT(r->get_header_value("Content-Type"), HasSubstr(file.second));
        EXPECT_FALSE(r->body.empty());
    }
}

TEST(ServeStartUp, InterruptEndsItCleanly)
{
    ServerProcess server;
    EXPECT_EQ(server.stop(), 0);
}

TEST(ServeStartUp, BadOptionsExitWithAMessage)
{
    const std::string tool = std::string(COOLWARM_BUILD_DIR) + "/bin/coolwarm serve ";
    const std::string err = (fs::temp_directory_path() / ("coolwarm-serve-err-" + std::to_string(getpid()))).string();
    auto run = [&](const std::string& args) {
        const int raw = std::system((tool + args + " >/dev/null 2>" + err).c_str());
        std::ifstream in(err);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return std::make_pair(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text);
    };
    auto r = run("--port 0 --scene /nonexistent/model.obj");
    EXPECT_EQ(r.first, 1);
    EXPECT_THAT(r.second, HasSubstr("coolwarm: --scene '/nonexistent/model.obj': cannot open the file"));

    ServerProcess busy;
    r = run("--port " + std::to_string(busy.port()));
    EXPECT_EQ(r.first, 1);
    EXPECT_THAT(r.second, HasSubstr("cannot listen there"));

    r = run("--host 203.0.113.9 --port 0");
    EXPECT_EQ(r.first, 1);
    EXPECT_THAT(r.second, HasSubstr("--host '203.0.113.9'"));

    // Refused at start-up, not a server that then refuses every request.
    r = run("--host '' --port 0");
    EXPECT_EQ(r.first, 1);
    EXPECT_THAT(r.second, HasSubstr("--host '': expected an address to listen on"));
    r = run("--host 127.0.0.1:8080 --port 0");
    EXPECT_EQ(r.first, 1);
    EXPECT_THAT(r.second, HasSubstr("--host '127.0.0.1:8080': not an IPv4 or IPv6 address or a host name"));
    fs::remove(err);
}
