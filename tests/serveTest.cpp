// The lookdev server's JSON API, spoken to over HTTP as scripts and the page
// speak to it.
#include "serverProcess.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imagebuf.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <regex>

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
        scenePath = (objDir / "studio.json").string();
        std::ofstream(scenePath) << R"({"background": [0.1, 0.2, 0.3], "material": {"diffuse": 0.4},
            "meshes": [{"builtin": "sphere", "scale": 0.5}, {"obj": "tetra.obj", "translate": [1, 0, 0]}]})";
        server.reset(new ServerProcess({"--scene", objPath, "--scene", scenePath}));
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

    httplib::Result render(const json& request, const std::string& clientId = "") const
    {
        httplib::Headers headers;
        if (!clientId.empty())
            headers.emplace("X-Coolwarm-Client", clientId);
        return client().Post("/api/render", headers, request.dump(), "application/json");
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
    static std::string objPath, scenePath;
    static std::unique_ptr<ServerProcess> server;
};

fs::path Serve::objDir;
std::string Serve::objPath, Serve::scenePath;
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
        {"Specular Shading", {"specularColor", "maya:eccentricity", "mentalray:eccentricity", "specularRollOff"}},
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

    ASSERT_EQ(s["scenes"].size(), 4u);
    EXPECT_EQ(s["scenes"][0]["id"], "built-in");
    // The tool's built-in look, which `render` uses too unless told otherwise.
    EXPECT_EQ(s["scenes"][0]["look"]["color"].size(), 3u);
    EXPECT_EQ(s["scenes"][0]["look"], s["scenes"][2]["look"]);
    EXPECT_EQ(s["scenes"][1]["id"], "swatch");
    EXPECT_EQ(s["scenes"][2]["id"], objPath);
    EXPECT_EQ(s["scenes"][2]["label"], "tetra.obj");
    // A scene file: its own material over the built-in look, its background.
    EXPECT_EQ(s["scenes"][3]["id"], scenePath);
    EXPECT_FLOAT_EQ(s["scenes"][3]["look"]["diffuse"].get<float>(), 0.4f);
    EXPECT_EQ(s["scenes"][3]["look"]["color"], s["scenes"][0]["look"]["color"]);
    EXPECT_NEAR(s["scenes"][3]["background"][2].get<double>(), 0.3, 1e-6);
    EXPECT_NEAR(s["scenes"][0]["background"][0].get<double>(), 0.6, 1e-6);
    EXPECT_EQ(s["limits"]["maxWidth"], 2048);
    EXPECT_EQ(s["limits"]["maxSamples"], 64);
    // Every control says in one line what it does.
    for (const json& c : controls)
        EXPECT_GT(c["description"].get<std::string>().size(), 10u) << c["name"];
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

    for (const char* scene : {"swatch", objPath.c_str(), scenePath.c_str()}) {
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

TEST_F(Serve, BackgroundComesFromTheSceneOrTheRequest)
{
    // The corner shows the background, linear in an EXR.
    const auto corner = [&](const json& extra) {
        json request{{"width", 24}, {"height", 18}, {"renderer", "maya"}, {"format", "exr"}, {"scene", scenePath}};
        if (extra.is_object())
            request.update(extra);
        const Picture p = picture(request);
        return p.pixels.empty() ? std::vector<float>{} : std::vector<float>(p.pixels.begin(), p.pixels.begin() + 3);
    };
    EXPECT_THAT(corner({}), testing::Pointwise(testing::FloatNear(1e-3f), std::vector<float>{0.1f, 0.2f, 0.3f}));
    EXPECT_THAT(corner({{"background", 0.9}}),
                testing::Pointwise(testing::FloatNear(1e-3f), std::vector<float>{0.9f, 0.9f, 0.9f}));
    EXPECT_THAT(corner({{"background", {0.0, 0.5, 1.0}}}),
                testing::Pointwise(testing::FloatNear(1e-3f), std::vector<float>{0.0f, 0.5f, 1.0f}));
    for (const json& bad : {json(-0.5), json("grey"), json({1, 2}), json({0.1, 0.2, "x"})}) {
        const httplib::Result r = render({{"width", 8}, {"height", 8}, {"background", bad}});
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 400) << bad.dump();
        EXPECT_THAT(json::parse(r->body)["error"].get<std::string>(), HasSubstr("background")) << bad.dump();
    }
}

TEST_F(Serve, WithTheKeyLightOffTheShaderHasNoLight)
{
    // The built-in scene's fill reaches the node only, as the schema says.
    const json schema = json::parse(client().Get("/api/schema")->body);
    const json& lights = schema["scenes"][0]["lights"];
    ASSERT_EQ(lights.size(), 2u);
    EXPECT_EQ(lights[0]["renderers"], json({"maya", "mentalray"}));
    EXPECT_EQ(lights[1]["name"], "fill");
    EXPECT_EQ(lights[1]["renderers"], json({"maya"}));

    const json off{{"width", 32}, {"height", 24}, {"scene", "swatch"}, {"format", "exr"}, {"light", {{"on", false}}}};
    const Picture p = picture(off);
    ASSERT_EQ(p.width, 66);
    // The sphere's centre: the node still shades it (ambient and the fill
    // aside, its outline), the shader's is black.
    const auto at = [&](int x) { return &p.pixels[3 * (static_cast<std::size_t>(12) * p.width + x)]; };
    EXPECT_FLOAT_EQ(at(34 + 16)[0] + at(34 + 16)[1] + at(34 + 16)[2], 0.0f);
    const httplib::Result bad = render({{"light", {{"on", "no"}}}});
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    EXPECT_THAT(bad->body, HasSubstr("light.on: expected true or false"));
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

TEST_F(Serve, ARequestSupersedesOnlyItsOwnClientsRenders)
{
    // Another page's render waits its turn and both finish.
    auto first = std::async(std::launch::async, [&] {
        return render({{"width", 512}, {"height", 512}, {"samples", 16}}, "page-one");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const httplib::Result second = render({{"width", 16}, {"height", 12}}, "page-two");
    ASSERT_TRUE(second);
    EXPECT_EQ(second->status, 200) << second->body;
    const httplib::Result firstResult = first.get();
    ASSERT_TRUE(firstResult);
    EXPECT_EQ(firstResult->status, 200) << firstResult->body;

    // The same page's newer request cancels its older one.
    auto old = std::async(std::launch::async, [&] {
        return render({{"width", 2048}, {"height", 2048}, {"samples", 64}}, "page-one");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const httplib::Result newer = render({{"width", 16}, {"height", 12}}, "page-one");
    ASSERT_TRUE(newer);
    EXPECT_EQ(newer->status, 200) << newer->body;
    const httplib::Result oldResult = old.get();
    ASSERT_TRUE(oldResult);
    EXPECT_EQ(oldResult->status, 409) << oldResult->body;
    EXPECT_THAT(oldResult->body, HasSubstr("superseded"));

    for (const std::string& bad : std::vector<std::string>{"has space", "semi;colon", std::string(65, 'a')}) {
        const httplib::Result r = render({{"width", 8}, {"height", 8}}, bad);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 400) << bad;
        EXPECT_THAT(r->body, HasSubstr("X-Coolwarm-Client")) << bad;
    }
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

// A model from a file may be stood on its z axis; the schema says which
// scenes take which axes.
TEST_F(Serve, AnObjSceneStandsOnTheAxisAsked)
{
    const json schema = json::parse(client().Get("/api/schema")->body);
    EXPECT_EQ(schema["scenes"][0]["upAxes"], json({"y"}));
    EXPECT_EQ(schema["scenes"][2]["upAxes"], json({"y", "z"}));
    const json base{{"width", 48}, {"height", 36}, {"scene", objPath}};
    json zUp = base;
    zUp["up"] = "z";
    const Picture y = picture(base), z = picture(zUp);
    ASSERT_EQ(y.pixels.size(), z.pixels.size());
    float difference = 0.0f;
    for (std::size_t i = 0; i < y.pixels.size(); ++i)
        difference += std::fabs(y.pixels[i] - z.pixels[i]);
    EXPECT_GT(difference, 10.0f);
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
        {R"({"up": "x"})", "up: expected \"y\" or \"z\""},
        {R"({"up": "z"})", "up: the built-in scenes stand y up"},
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

// The page, its style and every script it names, in the order it names them.
TEST_F(Serve, ServesThePageItsScriptsAndStyle)
{
    std::vector<std::pair<std::string, std::string>> files{{"/", "text/html"}, {"/style.css", "text/css"}};
    const httplib::Result page = client().Get("/");
    ASSERT_TRUE(page);
    const std::regex script("<script src=\"([^\"]+)\"");
    std::vector<std::string> scripts;
    for (std::sregex_iterator i(page->body.begin(), page->body.end(), script), end; i != end; ++i) {
        scripts.push_back((*i)[1]);
        files.push_back({(*i)[1], "text/javascript"});
    }
    // The shared helpers first, the one that starts the page last.
    ASSERT_GE(scripts.size(), 2u);
    EXPECT_EQ(scripts.front(), "/common.js");
    EXPECT_EQ(scripts.back(), "/app.js");
    for (const auto& file : files) {
        const httplib::Result r = client().Get(file.first);
        ASSERT_TRUE(r) << file.first;
        EXPECT_EQ(r->status, 200) << file.first;
        EXPECT_THAT(r->get_header_value("Content-Type"), HasSubstr(file.second));
        EXPECT_FALSE(r->body.empty());
    }
}

namespace {

// This machine's first IPv4 address other than loopback, or "".
std::string ownAddress()
{
    ifaddrs* list = nullptr;
    std::string found;
    if (getifaddrs(&list) != 0)
        return found;
    for (const ifaddrs* i = list; i && found.empty(); i = i->ifa_next)
        if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof text);
            if (std::string(text).rfind("127.", 0) != 0)
                found = text;
        }
    freeifaddrs(list);
    return found;
}

int statusFor(const ServerProcess& server, const std::string& host)
{
    // Sent to loopback only, whatever the Host header names.
    httplib::Client c("127.0.0.1", server.port());
    const httplib::Result r = c.Get("/api/version", {{"Host", host}});
    return r ? r->status : -1;
}

// What `coolwarm` prints and exits with; `out` the file it writes to, if any.
std::pair<int, std::string> runTool(const std::string& arguments)
{
    const std::string out = (fs::temp_directory_path() / ("coolwarm-serve-tool-" + std::to_string(getpid()))).string();
    const int raw = std::system((std::string(COOLWARM_BUILD_DIR) + "/bin/coolwarm " + arguments + " >" + out +
                                 " 2>/dev/null").c_str());
    std::ifstream in(out);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(out);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text};
}

std::string slurpFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Pixels [x0, x0 + width) of every row of `p`.
std::vector<float> columns(const Picture& p, int x0, int width)
{
    std::vector<float> out;
    for (int y = 0; y < p.height; ++y)
        for (int x = x0; x < x0 + width; ++x)
            for (int k = 0; k < 3; ++k)
                out.push_back(p.pixels[3 * (static_cast<std::size_t>(y) * p.width + x) + k]);
    return out;
}

}  // namespace

TEST(ServeStartUp, OnEveryAddressTheMachinesOwnNamesAndAllowedHostsPass)
{
    ServerProcess server({"--host", "0.0.0.0", "--allow-host", "Lookdev.Example"});
    EXPECT_EQ(server.host(), "127.0.0.1");
    const std::string port = ":" + std::to_string(server.port());
    char name[256] = {};
    ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
    std::vector<std::string> served{"127.0.0.1" + port, "localhost" + port, std::string(name) + port,
                                    "lookdev.example" + port, "LOOKDEV.EXAMPLE" + port};
    if (!ownAddress().empty())
        served.push_back(ownAddress() + port);
    for (const std::string& host : served)
        EXPECT_EQ(statusFor(server, host), 200) << host;
    for (const std::string& host : std::vector<std::string>{"attacker.example" + port, "lookdev.example", "lookdev.example:1"})
        EXPECT_EQ(statusFor(server, host), 403) << host;

    // On loopback alone the machine's name is refused; an allowed name passes.
    ServerProcess loopback({"--allow-host", "lookdev.example"});
    const std::string loopbackPort = ":" + std::to_string(loopback.port());
    EXPECT_EQ(statusFor(loopback, std::string(name) + loopbackPort), std::string(name) == "localhost" ? 200 : 403);
    EXPECT_EQ(statusFor(loopback, "lookdev.example" + loopbackPort), 200);
}

TEST_F(Serve, TheUntouchedPageDrawsWhatTheCommandLineDraws)
{
    const httplib::Result r = client().Get("/api/schema");
    ASSERT_TRUE(r);
    const json schema = json::parse(r->body);
    // The page's first request: every control at the schema's look, or at its
    // default where the look says nothing, and the scene's camera.
    json settings = json::object();
    for (const json& c : schema["controls"]) {
        const std::string name = c["name"];
        settings[name] = schema["look"].contains(name) ? schema["look"][name] : c["default"];
    }
    const json& camera = schema["scenes"][0]["camera"];
    const int width = 160, height = 120, samples = 4;
    const json untouched{{"width", width}, {"height", height}, {"samples", samples}};
    json page = untouched;
    page["settings"] = settings;
    page["camera"] = {{"azimuth", camera["azimuth"]}, {"elevation", camera["elevation"]}};
    const Picture fromPage = picture(page), bare = picture(untouched);

    const fs::path dir = objDir / "untouched";
    fs::create_directories(dir);
    for (const char* renderer : {"maya", "mentalray"}) {
        const std::string out = (dir / (std::string(renderer) + ".png")).string();
        ASSERT_EQ(runTool("render --renderer " + std::string(renderer) + " --size 160x120 --samples 4 --quiet --out " +
                          out).first,
                  0);
        const Picture cli = decode(slurpFile(out), "image.png");
        ASSERT_EQ(cli.width, width);
        const int x0 = std::string(renderer) == "maya" ? 0 : width + 2;
        // Pixel for pixel: the same look on both sides.
        EXPECT_EQ(columns(fromPage, x0, width), cli.pixels) << renderer;
        EXPECT_EQ(columns(bare, x0, width), cli.pixels) << renderer;
    }
}

TEST_F(Serve, APrefixedSettingReachesItsSideOnlyAndIsCheckedAgainstItsRange)
{
    const json base{{"width", 40}, {"height", 30}, {"scene", "swatch"}};
    const Picture plain = picture(base);
    const std::pair<const char*, double> oneSide[] = {{"maya:eccentricity", 0.6}, {"mentalray:eccentricity", 5.0},
                                                      {"maya:diffuse", 0.3}, {"mentalray:diffuse", 0.3}};
    for (const auto& c : oneSide) {
        json request = base;
        request["settings"] = {{c.first, c.second}};
        const Picture p = picture(request);
        const bool maya = std::string(c.first).rfind("maya:", 0) == 0;
        EXPECT_EQ(columns(p, 0, 40) == columns(plain, 0, 40), !maya) << c.first;
        EXPECT_EQ(columns(p, 42, 40) == columns(plain, 42, 40), maya) << c.first;
    }
    // A bare name still reaches both; given with a prefixed one, the prefixed
    // one wins on its side, whatever the order.
    json both = base;
    both["settings"] = {{"eccentricity", 0.6}};
    const Picture bothChanged = picture(both);
    EXPECT_NE(columns(bothChanged, 0, 40), columns(plain, 0, 40));
    EXPECT_NE(columns(bothChanged, 42, 40), columns(plain, 42, 40));
    json mixed = base;
    mixed["settings"] = {{"eccentricity", 0.6}, {"mentalray:eccentricity", 40.0}};
    const Picture mixedPicture = picture(mixed);
    EXPECT_EQ(columns(mixedPicture, 0, 40), columns(bothChanged, 0, 40));
    EXPECT_EQ(columns(mixedPicture, 42, 40), columns(plain, 42, 40));

    const std::pair<json, const char*> refused[] = {
        {{{"maya:outLineWidth", 2.0}}, "settings.maya:outLineWidth: 2.0 is outside the range 0 to 1"},
        {{{"mentalray:outLineWidth", 0.5}}, "unknown attribute or parameter 'mentalray:outLineWidth' of shader zarn_coolwarm"},
        {{{"maya:irradianceColor", {1, 1, 1}}}, "unknown attribute or parameter 'maya:irradianceColor' of node coolwarm"},
        {{{"maya:shine", 1}}, "unknown attribute or parameter 'maya:shine' of node coolwarm"},
        {{{"mentalray:eccentricity", "wide"}}, "settings.mentalray:eccentricity: expected a number"},
        {{{"eccentricity", "wide"}}, "settings.eccentricity: expected a number"},
    };
    for (const auto& c : refused) {
        json request = base;
        request["settings"] = c.first;
        const httplib::Result r = render(request);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 400) << c.first.dump();
        EXPECT_THAT(r->body, HasSubstr(c.second)) << c.first.dump();
    }
}

TEST_F(Serve, TheSchemaCarriesTheBuiltInLookAndPerRendererControls)
{
    const json s = json::parse(client().Get("/api/schema")->body);
    const json& look = s["look"];
    EXPECT_EQ(look["maya:eccentricity"], 0.15);
    EXPECT_EQ(look["mentalray:eccentricity"], 40);
    EXPECT_EQ(look["color"], json({0.9, 0.45, 0.1}));
    EXPECT_FALSE(findByName(s["controls"], "name", "eccentricity"));
    const json& maya = *findByName(s["controls"], "name", "maya:eccentricity");
    const json& mentalray = *findByName(s["controls"], "name", "mentalray:eccentricity");
    EXPECT_EQ(maya["renderers"], json({"maya"}));
    EXPECT_EQ(mentalray["renderers"], json({"mentalray"}));
    EXPECT_FLOAT_EQ(maya["default"].get<float>(), 0.15f);
    EXPECT_FLOAT_EQ(mentalray["default"].get<float>(), 40.0f);
    // Each slider reaches its own default.
    EXPECT_GE(mentalray["softMax"].get<double>(), 40.0);
    EXPECT_LE(maya["softMax"].get<double>(), 1.0);
}

TEST_F(Serve, ARenderCarriesTheCommandLinesNotes)
{
    auto notesOf = [&](const json& request) {
        const httplib::Result r = render(request);
        EXPECT_TRUE(r);
        EXPECT_EQ(r->status, 200) << r->body;
        const std::string header = r->get_header_value("X-Coolwarm-Notes");
        for (unsigned char c : header)
            EXPECT_LT(c, 0x80) << header;
        return json::parse(header);
    };
    const json base{{"width", 16}, {"height", 12}};
    EXPECT_EQ(notesOf(base), json::array());
    json request = base;
    request["settings"] = {{"outLineWidth", 0.5}, {"irradianceColor", {0.5, 0.5, 0.5}}, {"diffuse", 0.5}};
    const json notes = notesOf(request);
    ASSERT_EQ(notes.size(), 2u) << notes.dump();
    EXPECT_THAT(notes.dump(), HasSubstr("outLineWidth changes the Maya panel only"));
    EXPECT_THAT(notes.dump(), HasSubstr("irradianceColor changes the mental ray panel only"));
    // Values the page sends unchanged (the look's, the defaults) say nothing.
    request["settings"] = {{"outLineWidth", 0.2}, {"irradianceColor", {1, 1, 1}}, {"maya:eccentricity", 0.15}};
    EXPECT_EQ(notesOf(request), json::array());
    // One panel drawn: a value for the other is a note, not a refusal.
    request["renderer"] = "maya";
    request["settings"] = {{"irradianceColor", {0.5, 0.5, 0.5}}};
    EXPECT_THAT(notesOf(request).dump(), HasSubstr("its panel is not drawn"));
}

// What loading found in a model (normals turned to their faces' side) comes
// with every picture of it, before the notes on the settings.
TEST(ServeScenes, APictureCarriesItsScenesLoadingNotes)
{
    const fs::path obj = fs::temp_directory_path() / ("coolwarm-serve-turned-" + std::to_string(getpid()) + ".obj");
    std::ofstream(obj) << "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                          "vn 0 0 1\nvn 0 0 1\nvn 0 0 1\nvn 0 0 -1\n"
                          "f 1//1 2//2 3//3\nf 1//1 3//3 4//4\n";
    ServerProcess server({"--scene", obj.string()});
    httplib::Client c(server.host(), server.port());
    c.set_read_timeout(120);
    auto notesOf = [&](const json& request) {
        const httplib::Result r = c.Post("/api/render", request.dump(), "application/json");
        EXPECT_TRUE(r);
        if (!r)
            return json();
        EXPECT_EQ(r->status, 200) << r->body;
        return json::parse(r->get_header_value("X-Coolwarm-Notes"));
    };
    const json notes = notesOf({{"scene", obj.string()}, {"width", 16}, {"height", 12}, {"settings", {{"irradianceColor", {0.5, 0.5, 0.5}}}}});
    ASSERT_EQ(notes.size(), 2u) << notes.dump();
    EXPECT_THAT(notes[0].get<std::string>(), HasSubstr("1 of the file's 4 normals pointed against their faces"));
    EXPECT_THAT(notes[1].get<std::string>(), HasSubstr("irradianceColor changes the mental ray panel only"));
    // Another scene has notes of its own: none here.
    EXPECT_EQ(notesOf({{"width", 16}, {"height", 12}}), json::array());
    fs::remove(obj);
}

TEST_F(Serve, ExportsTheLookAsTheCommandLineDoes)
{
    auto post = [&](const json& request) {
        return client().Post("/api/export", request.dump(), "application/json");
    };
    const std::pair<const char*, const char*> formats[] = {
        {"mel", "text/plain; charset=utf-8"}, {"mel-preset", "text/plain; charset=utf-8"},
        {"mi", "text/plain; charset=utf-8"}, {"json", "application/json"}};
    for (const auto& f : formats) {
        const httplib::Result r = post({{"format", f.first}, {"settings", {{"diffuse", 0.5}}}, {"name", "orangeTone1"}});
        ASSERT_TRUE(r);
        ASSERT_EQ(r->status, 200) << r->body;
        EXPECT_EQ(r->get_header_value("Content-Type"), f.second);
        const std::string extension = std::string(f.first) == "json" ? "json" : std::string(f.first) == "mi" ? "mi" : "mel";
        EXPECT_EQ(r->get_header_value("Content-Disposition"), "attachment; filename=\"orangeTone1." + extension + "\"");
        const auto cli = runTool(std::string("export --format ") + f.first + " --set diffuse=0.5 --name orangeTone1");
        EXPECT_EQ(cli.first, 0);
        EXPECT_EQ(r->body, cli.second) << f.first;
    }
    // Without settings: the built-in look, under the default name.
    const httplib::Result plain = post({{"format", "mi"}});
    ASSERT_TRUE(plain);
    EXPECT_THAT(plain->body, HasSubstr("\"eccentricity\" 40,"));
    EXPECT_THAT(plain->get_header_value("Content-Disposition"), HasSubstr("coolwarmLook.mi"));

    const std::pair<json, const char*> refused[] = {
        {json{{"format", "obj"}}, "format: expected one of mel, mel-preset, mi or json"},
        {json::object(), "format: expected one of"},
        {json{{"format", "mel"}, {"name", "a\"; system(\"rm"}}, "name: expected a name of letters"},
        {json{{"format", "mel"}, {"name", 3}}, "name: expected a node name"},
        {json{{"format", "mel"}, {"settings", {{"maya:outLineWidth", 7}}}}, "is outside the range"},
        {json{{"format", "mel"}, {"look", {}}}, "unknown field 'look'"},
    };
    for (const auto& c : refused) {
        const httplib::Result r = post(c.first);
        ASSERT_TRUE(r);
        EXPECT_EQ(r->status, 400) << c.first.dump();
        EXPECT_THAT(r->body, HasSubstr(c.second)) << c.first.dump();
    }
    const httplib::Result text = client().Post("/api/export", "{\"format\": \"mel\"}", "text/plain");
    ASSERT_TRUE(text);
    EXPECT_EQ(text->status, 400);
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

    const fs::path badScene = fs::temp_directory_path() / ("coolwarm-serve-bad-" + std::to_string(getpid()) + ".json");
    std::ofstream(badScene) << R"({"meshes": [{"builtin": "sphere"}], "background": "dark"})";
    r = run("--port 0 --scene " + badScene.string());
    EXPECT_EQ(r.first, 1);
    EXPECT_THAT(r.second, HasSubstr("'" + badScene.string() + "': background"));
    std::ofstream(badScene) << R"({"meshes": [{"builtin": "sphere"}], "material": {"glow": 1}})";
    r = run("--port 0 --scene " + badScene.string());
    EXPECT_EQ(r.first, 1);
    EXPECT_THAT(r.second, HasSubstr("glow"));
    fs::remove(badScene);

    for (const std::string bad : {"lookdev.example:8080", "''", "'a b'", "http://x"}) {
        r = run("--port 0 --allow-host " + bad);
        EXPECT_EQ(r.first, 1) << bad;
        EXPECT_THAT(r.second, HasSubstr("--allow-host")) << bad;
        EXPECT_THAT(r.second, HasSubstr("expected a host name or address, without a port")) << bad;
    }

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
