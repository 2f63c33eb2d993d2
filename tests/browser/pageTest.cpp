// The lookdev page in headless Chromium, driven through the DevTools protocol
// over a pipe: it loads, builds its controls, and both panels answer a slider.
#include "../serverProcess.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string base64Decode(const std::string& text)
{
    static const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned bits = 0;
    int count = 0;
    for (char c : text) {
        const std::size_t v = digits.find(c);
        if (v == std::string::npos)
            continue;  // padding
        bits = (bits << 6) | static_cast<unsigned>(v);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out.push_back(static_cast<char>((bits >> count) & 0xFF));
        }
    }
    return out;
}

// Chromium with --remote-debugging-pipe: it reads commands on fd 3 and writes
// replies and events on fd 4, each a JSON text ended by a NUL.
class Browser {
public:
    Browser()
    {
        profile_ = fs::temp_directory_path() / ("coolwarm-chromium-" + std::to_string(getpid()));
        fs::create_directories(profile_);
        int toBrowser[2], fromBrowser[2];
        if (pipe(toBrowser) != 0 || pipe(fromBrowser) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
            // fds 3 and 4 may be taken by the pipes themselves: move them clear first.
            const int in = fcntl(toBrowser[0], F_DUPFD, 10), out = fcntl(fromBrowser[1], F_DUPFD, 10);
            dup2(in, 3);
            dup2(out, 4);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            for (int fd = 5; fd < 256; ++fd)
                close(fd);
            const std::string profile = "--user-data-dir=" + profile_.string();
            execl(COOLWARM_CHROMIUM, COOLWARM_CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                  "--no-first-run", "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--remote-debugging-pipe", profile.c_str(), "about:blank", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(toBrowser[0]);
        close(fromBrowser[1]);
        write_ = toBrowser[1];
        read_ = fromBrowser[0];
    }

    ~Browser()
    {
        try {
            call("Browser.close");
        } catch (...) {
        }
        close(write_);
        close(read_);
        for (int i = 0; i < 50; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            usleep(100 * 1000);
        }
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(profile_, ignored);
    }

    // Sends a command and waits for its reply; throws on an error reply.
    json call(const std::string& method, const json& params = json::object(), const std::string& session = "")
    {
        json message{{"id", ++lastId_}, {"method", method}, {"params", params}};
        if (!session.empty())
            message["sessionId"] = session;
        const std::string text = message.dump() + '\0';
        if (::write(write_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("cannot write to the browser");
        for (;;) {
            const json reply = next();
            if (reply.value("id", -1) != lastId_)
                continue;  // an event, or another reply
            if (reply.contains("error"))
                throw std::runtime_error(method + ": " + reply["error"].dump());
            return reply["result"];
        }
    }

    // Runs JavaScript in the page, awaiting a promise; returns its value.
    json evaluate(const std::string& session, const std::string& expression)
    {
        const json r = call("Runtime.evaluate",
                            {{"expression", expression}, {"awaitPromise", true}, {"returnByValue", true}}, session);
        if (r.contains("exceptionDetails"))
            throw std::runtime_error("page script failed: " + r["exceptionDetails"].dump());
        return r["result"].value("value", json());
    }

private:
    json next()
    {
        for (;;) {
            const std::size_t end = buffer_.find('\0');
            if (end != std::string::npos) {
                const std::string text = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return json::parse(text);
            }
            pollfd p{read_, POLLIN, 0};
            if (poll(&p, 1, 60000) <= 0)
                throw std::runtime_error("the browser did not answer within a minute");
            char chunk[65536];
            const ssize_t n = ::read(read_, chunk, sizeof chunk);
            if (n <= 0)
                throw std::runtime_error("the browser closed its pipe");
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }

    pid_t pid_ = -1;
    int write_ = -1, read_ = -1;
    int lastId_ = 0;
    std::string buffer_;
    fs::path profile_;
};

// Resolves once the refined image of the newest change is on both panels.
const char kWaitReady[] = R"((async () => {
  const start = performance.now();
  while (document.body.dataset.ready !== 'true') {
    if (performance.now() - start > 60000) throw new Error('the panels never finished: ' +
        document.getElementById('status').textContent);
    await new Promise((r) => setTimeout(r, 5));
  }
  return true;
})())";

// Moves a slider as a user does, waits for the refined images, and says
// whether each panel changed and how long the two images took.
std::string moveSlider(const std::string& id, double value)
{
    return R"((async () => {
  const canvases = [...document.querySelectorAll('.panel canvas')];
  const before = canvases.map((c) => c.toDataURL());
  delete document.body.dataset.ready;
  const slider = document.getElementById(')" +
           id + R"(');
  slider.value = ')" +
           std::to_string(value) + R"(';
  slider.dispatchEvent(new Event('input', { bubbles: true }));
  await )" + std::string(kWaitReady) +
           R"(;
  return { changed: canvases.map((c, i) => c.toDataURL() !== before[i]),
           fastMs: Number(document.body.dataset.fastMs), refinedMs: Number(document.body.dataset.refinedMs),
           number: document.getElementById(')" +
           id + R"(').parentElement.querySelector('input.value').value };
})())";
}

class Page : public testing::Test {
protected:
    void SetUp() override
    {
        session = browser.call("Target.attachToTarget",
                               {{"targetId", browser.call("Target.createTarget", {{"url", server.url()}})["targetId"]},
                                {"flatten", true}})["sessionId"];
        resize(1440, 900);
        // Until the page itself has loaded, scripts may land in the blank
        // document before it.
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            try {
                if (browser.evaluate(session, "document.readyState === 'complete' && location.protocol === 'http:'") ==
                    true)
                    break;
            } catch (const std::runtime_error&) {
            }
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(60))
                throw std::runtime_error("the page did not load");
            usleep(20 * 1000);
        }
        browser.evaluate(session, kWaitReady);
    }

    void resize(int width, int height)
    {
        browser.call("Emulation.setDeviceMetricsOverride",
                     {{"width", width}, {"height", height}, {"deviceScaleFactor", 1}, {"mobile", false}}, session);
    }

    ServerProcess server;
    Browser browser;
    std::string session;
};

}  // namespace

TEST_F(Page, BuildsGroupedLabelledControlsFromTheSchema)
{
    const json groups = browser.evaluate(session, R"([...document.querySelectorAll('#controls legend')]
        .map((l) => l.textContent))");
    for (const char* g : {"Light and View", "Cool/Warm Tones", "Outline", "Specular Shading",
                          "Common Material Attributes"})
        EXPECT_NE(std::find(groups.begin(), groups.end(), g), groups.end()) << g << " in " << groups.dump();
    // Every input has a label, and the controls' kinds follow the schema.
    EXPECT_EQ(browser.evaluate(session, R"([...document.querySelectorAll('#controls input')]
        .filter((i) => !i.labels.length && !i.getAttribute('aria-label')).length)"),
              0);
    EXPECT_EQ(browser.evaluate(session, "document.getElementById('attr-color').type"), "color");
    EXPECT_EQ(browser.evaluate(session, "document.getElementById('attr-diffuse').type"), "range");
    EXPECT_EQ(browser.evaluate(session, "document.getElementById('attr-computeIrradiance').type"), "checkbox");
    EXPECT_EQ(browser.evaluate(session, "document.getElementById('attr-outLineWidth').max"), "1");
}

TEST_F(Page, BothPanelsAnswerASlider)
{
    // Five moves, to measure the time from a change to the first image and to
    // the refined one at the default 480x360.
    std::vector<double> fast, refined;
    for (int i = 0; i < 5; ++i) {
        const json r = browser.evaluate(session, moveSlider("attr-diffuse", i % 2 ? 0.9 : 0.25));
        EXPECT_EQ(r["changed"], json({true, true})) << r.dump();
        EXPECT_EQ(r["number"], i % 2 ? "0.9" : "0.25");
        fast.push_back(r["fastMs"].get<double>());
        refined.push_back(r["refinedMs"].get<double>());
    }
    std::sort(fast.begin(), fast.end());
    std::sort(refined.begin(), refined.end());
    std::printf("slider to first image: median %.0f ms (%.0f to %.0f); to refined image: median %.0f ms (%.0f to %.0f)\n",
                fast[2], fast[0], fast[4], refined[2], refined[0], refined[4]);

    // Reset returns the value and redraws.
    const json reset = browser.evaluate(session, R"((async () => {
  delete document.body.dataset.ready;
  document.querySelector('button[aria-label="Reset Diffuse"]').click();
  await )" + std::string(kWaitReady) + R"(;
  return document.getElementById('attr-diffuse').value;
})())");
    // The look's value, not the attribute's default (0.8).
    EXPECT_NEAR(std::stod(reset.get<std::string>()), 0.85, 1e-3);

    // The page as the README shows it.
    const char* shot = std::getenv("COOLWARM_PAGE_SCREENSHOT");
    const std::string path = shot ? shot : std::string(COOLWARM_BUILD_DIR) + "/lookdev-page.png";
    const json image = browser.call("Page.captureScreenshot", {{"format", "png"}}, session);
    std::ofstream(path, std::ios::binary) << base64Decode(image["data"].get<std::string>());
    EXPECT_GT(fs::file_size(path), 10000u);
}

namespace {

// Types `text` into a control's value field as a user does (the change event
// fires as the field is left), then waits for the panels to settle.
std::string typeInto(const std::string& id, const std::string& text)
{
    return R"((async () => {
  const field = document.getElementById(')" + id + R"(').parentElement.querySelector('input.value');
  field.value = )" + json(text).dump() + R"(;
  field.dispatchEvent(new Event('change', { bubbles: true }));
  await )" + std::string(kWaitReady) + R"(;
  return { value: field.value, bad: field.classList.contains('bad'), invalid: field.getAttribute('aria-invalid'),
           problem: field.parentElement.querySelector('.problem').textContent };
})())";
}

// Ctrl+Z, or Ctrl+Shift+Z with `shift`, then the panels settle.
std::string pressUndo(bool shift)
{
    return R"((async () => {
  document.activeElement.dispatchEvent(new KeyboardEvent('keydown',
      { key: )" + std::string(shift ? "'Z'" : "'z'") + R"(, ctrlKey: true, shiftKey: )" + (shift ? "true" : "false") +
           R"(, bubbles: true }));
  await )" + std::string(kWaitReady) + R"(;
  return true;
})())";
}

const char kFieldValues[] = R"(Object.fromEntries(['diffuse', 'alpha', 'color', 'outLineWidth'].map((n) =>
  [n, document.getElementById('attr-' + n).parentElement.querySelector('input.value').value])))";

}  // namespace

TEST_F(Page, UndoAndRedoStepThroughTheChanges)
{
    browser.evaluate(session, moveSlider("attr-diffuse", 0.25));
    browser.evaluate(session, typeInto("attr-alpha", "0.5"));
    browser.evaluate(session, typeInto("attr-color", "0.2, 0.4, 0.6"));
    json v = browser.evaluate(session, kFieldValues);
    EXPECT_EQ(v["color"], "0.2 0.4 0.6");

    browser.evaluate(session, pressUndo(false));
    v = browser.evaluate(session, kFieldValues);
    EXPECT_EQ(v["color"], "0.9 0.45 0.1");
    EXPECT_EQ(v["alpha"], "0.5");
    browser.evaluate(session, pressUndo(false));
    browser.evaluate(session, pressUndo(false));
    v = browser.evaluate(session, kFieldValues);
    EXPECT_EQ(v["alpha"], "0.05");
    EXPECT_EQ(v["diffuse"], "0.85");
    EXPECT_EQ(browser.evaluate(session, "document.getElementById('undo').disabled"), true);

    browser.evaluate(session, pressUndo(true));
    v = browser.evaluate(session, kFieldValues);
    EXPECT_EQ(v["diffuse"], "0.25");
    EXPECT_EQ(v["alpha"], "0.05");
    // A new change drops what could be redone.
    browser.evaluate(session, typeInto("attr-beta", "0.1"));
    EXPECT_EQ(browser.evaluate(session, "document.getElementById('redo').disabled"), true);

    // A slider dragged through many values is one change.
    const json dragged = browser.evaluate(session, R"((async () => {
  const before = Number(document.body.dataset.undo);
  const slider = document.getElementById('attr-yellow');
  for (const v of [0.1, 0.2, 0.3, 0.4]) {
    slider.value = String(v);
    slider.dispatchEvent(new Event('input', { bubbles: true }));
  }
  slider.dispatchEvent(new Event('change', { bubbles: true }));
  return Number(document.body.dataset.undo) - before;
})())");
    EXPECT_EQ(dragged, 1);

    // Undo reaches back over the last 100 changes, no further.
    const json depth = browser.evaluate(session, R"((async () => {
  const box = document.getElementById('attr-computeIrradiance');
  for (let i = 0; i < 120; ++i) box.click();
  return Number(document.body.dataset.undo);
})())");
    EXPECT_EQ(depth, 100);
    browser.evaluate(session, kWaitReady);
}

TEST_F(Page, ResetAllGoesToTheLookThePageOpenedWith)
{
    const json opened = browser.evaluate(session, kFieldValues);
    browser.evaluate(session, moveSlider("attr-diffuse", 0.3));
    browser.evaluate(session, typeInto("attr-color", "2.5 0 0.5"));
    browser.evaluate(session, typeInto("attr-outLineWidth", "0.9"));
    json v = browser.evaluate(session, kFieldValues);
    EXPECT_EQ(v["color"], "2.5 0 0.5");  // above 1: the attribute allows it
    EXPECT_NE(v, opened);
    browser.evaluate(session, R"((async () => {
  document.getElementById('reset-all').click();
  await )" + std::string(kWaitReady) + R"(;
})())");
    EXPECT_EQ(browser.evaluate(session, kFieldValues), opened);
    EXPECT_EQ(opened["diffuse"], "0.85");  // the built-in look, not the node's defaults
    EXPECT_EQ(opened["color"], "0.9 0.45 0.1");
    // Reset all is one change.
    browser.evaluate(session, pressUndo(false));
    EXPECT_EQ(browser.evaluate(session, kFieldValues), v);
}

TEST_F(Page, ABadEntryIsMarkedAndRenderingGoesOn)
{
    for (const auto& bad : {std::make_pair("attr-diffuse", "lots"), std::make_pair("attr-outLineWidth", "1.5"),
                            std::make_pair("attr-color", "1 2"), std::make_pair("attr-alpha", "0.5x")}) {
        const json r = browser.evaluate(session, typeInto(bad.first, bad.second));
        EXPECT_EQ(r["bad"], true) << bad.first;
        EXPECT_EQ(r["invalid"], "true") << bad.first;
        EXPECT_NE(r["problem"].get<std::string>().find("still using"), std::string::npos) << r.dump();
    }
    // The last good values stay in use, the marks stay up, and another control
    // still redraws both panels.
    const json moved = browser.evaluate(session, moveSlider("attr-beta", 0.9));
    EXPECT_EQ(moved["changed"], json({true, true}));
    const json marks = browser.evaluate(session, R"(({
  bad: [...document.querySelectorAll('#controls input.bad')].map((f) => f.parentElement.querySelector('label').htmlFor),
  diffuse: page.values.diffuse, width: page.values.outLineWidth, color: page.values.color,
  status: document.getElementById('status').textContent }))");
    EXPECT_EQ(marks["bad"], json({"attr-color", "attr-diffuse", "attr-alpha", "attr-outLineWidth"})) << marks.dump();
    EXPECT_FLOAT_EQ(marks["diffuse"].get<float>(), 0.85f);
    EXPECT_FLOAT_EQ(marks["width"].get<float>(), 0.2f);  // the built-in look's width, kept
    EXPECT_EQ(marks["color"].size(), 3u);
    EXPECT_EQ(marks["status"], "");
    // A good entry clears its mark.
    EXPECT_EQ(browser.evaluate(session, typeInto("attr-diffuse", "0.5"))["bad"], false);

    // A value the server refuses is marked the same way, goes back to the
    // value of the newest picture, and the panels are drawn again.
    const json refused = browser.evaluate(session, R"((async () => {
  const realFetch = window.fetch;
  window.fetch = (url, options) => {
    if (url === '/api/render' && 'yellow' in JSON.parse(options.body).settings)
      return Promise.resolve(new Response(JSON.stringify({ error: 'settings.yellow: refused here' }),
                                          { status: 400, headers: { 'Content-Type': 'application/json' } }));
    return realFetch(url, options);
  };
  const slider = document.getElementById('attr-yellow');
  delete document.body.dataset.ready;
  slider.value = '0.9';
  slider.dispatchEvent(new Event('input', { bubbles: true }));
  await )" + std::string(kWaitReady) + R"(;
  window.fetch = realFetch;
  const field = slider.parentElement.querySelector('input.value');
  return { value: page.values.yellow, field: field.value, bad: field.classList.contains('bad'),
           problem: slider.parentElement.querySelector('.problem').textContent };
})())");
    EXPECT_FLOAT_EQ(refused["value"].get<float>(), 0.45f);
    EXPECT_EQ(refused["field"], "0.45");
    EXPECT_EQ(refused["bad"], true);
    EXPECT_NE(refused["problem"].get<std::string>().find("refused here"), std::string::npos) << refused.dump();
}

TEST_F(Page, SavedLookLoadsBackAsItWas)
{
    browser.evaluate(session, moveSlider("attr-alpha", 0.4));
    browser.evaluate(session, typeInto("attr-color", "0.1 0.6 1.4"));
    browser.evaluate(session, "document.getElementById('attr-computeIrradiance').click()");
    browser.evaluate(session, kWaitReady);
    const json saved = browser.evaluate(session, R"((async () => {
  document.getElementById('look-name').value = 'tealLook';
  let blob = null, name = null;
  const click = HTMLAnchorElement.prototype.click, makeUrl = URL.createObjectURL;
  HTMLAnchorElement.prototype.click = function () { name = this.download; };
  URL.createObjectURL = (b) => { blob = b; return makeUrl(b); };
  document.getElementById('save-look').click();
  HTMLAnchorElement.prototype.click = click;
  URL.createObjectURL = makeUrl;
  return { name, text: await blob.text(), values: page.values };
})())");
    EXPECT_EQ(saved["name"], "tealLook.json");
    const json look = json::parse(saved["text"].get<std::string>());
    EXPECT_EQ(look, saved["values"]);
    EXPECT_EQ(look["computeIrradiance"], true);

    // Reset, then load the file as a user picks it.
    const std::string load = R"((async (text, fileName) => {
  delete document.body.dataset.ready;
  const input = document.getElementById('look-file');
  const files = new DataTransfer();
  files.items.add(new File([text], fileName, { type: 'application/json' }));
  input.files = files.files;
  input.dispatchEvent(new Event('change', { bubbles: true }));
  await new Promise((r) => setTimeout(r, 100));
  if (document.getElementById('status').classList.contains('error'))
    return { status: document.getElementById('status').textContent, values: page.values };
  await )" + std::string(kWaitReady) + R"(;
  return { status: document.getElementById('status').textContent, values: page.values };
}))";
    browser.evaluate(session, "document.getElementById('reset-all').click()");
    browser.evaluate(session, kWaitReady);
    EXPECT_NE(browser.evaluate(session, "page.values"), look);
    json loaded = browser.evaluate(session, load + "(" + saved["text"].dump() + ", 'tealLook.json')");
    EXPECT_EQ(loaded["values"], look);
    EXPECT_EQ(browser.evaluate(session, kFieldValues)["color"], "0.1 0.6 1.4");

    // The page after loading the look.
    const char* shot = std::getenv("COOLWARM_LOADED_SCREENSHOT");
    const std::string path = shot ? shot : std::string(COOLWARM_BUILD_DIR) + "/lookdev-loaded.png";
    const json image = browser.call("Page.captureScreenshot", {{"format", "png"}}, session);
    std::ofstream(path, std::ios::binary) << base64Decode(image["data"].get<std::string>());

    // A file the page cannot take changes nothing and says why.
    for (const auto& bad : {std::make_pair(R"({"glow": 1})", "glow: not an attribute"),
                            std::make_pair(R"({"outLineWidth": 3})", "outLineWidth: 3 is above the maximum 1"),
                            std::make_pair(R"([1, 2])", "expected an object"),
                            std::make_pair(R"({"color": )", "Cannot load the look 'broken.json'")}) {
        const json r = browser.evaluate(session, load + "(" + json(bad.first).dump() + ", 'broken.json')");
        EXPECT_NE(r["status"].get<std::string>().find(bad.second), std::string::npos) << r["status"];
        EXPECT_EQ(r["values"], look) << bad.first;
    }

    // What a look leaves out takes the deliverables' own defaults, as with
    // `render --look`: each side's eccentricity its own, not the built-in look's.
    loaded = browser.evaluate(session, load + R"(('{"diffuse": 0.5}', 'plain.json'))");
    const json defaults = browser.evaluate(session, R"((async () => {
  const schema = await (await fetch('/api/schema')).json();
  return { maya: schema.node.attributes.find((a) => a.longName === 'eccentricity').default,
           mentalray: schema.shader.parameters.find((p) => p.name === 'eccentricity').default,
           alpha: schema.node.attributes.find((a) => a.longName === 'alpha').default };
})())");
    EXPECT_EQ(loaded["values"]["maya:eccentricity"], defaults["maya"]);
    EXPECT_EQ(loaded["values"]["mentalray:eccentricity"], defaults["mentalray"]);
    EXPECT_EQ(loaded["values"]["alpha"], defaults["alpha"]);
    EXPECT_EQ(loaded["values"]["diffuse"], 0.5);
}

TEST_F(Page, SceneFactsThatAffectOnePanelStayInView)
{
    const std::string facts = "[...document.querySelectorAll('#facts li')].map((l) => l.textContent).join(' | ')";
    EXPECT_NE(browser.evaluate(session, facts).get<std::string>().find("fill light reaches the Maya node only"),
              std::string::npos);
    browser.evaluate(session, moveSlider("light-intensity", 0.5));
    EXPECT_NE(browser.evaluate(session, facts).get<std::string>().find("Light intensity means different things"),
              std::string::npos);
    const json off = browser.evaluate(session, R"((async () => {
  delete document.body.dataset.ready;
  document.getElementById('light-on').click();
  await )" + std::string(kWaitReady) + R"(;
  return true;
})())");
    const std::string text = browser.evaluate(session, facts).get<std::string>();
    EXPECT_NE(text.find("mental ray panel is black"), std::string::npos) << text;
    // Tooltips come from the schema's descriptions.
    EXPECT_EQ(browser.evaluate(session, R"((async () => {
  const schema = await (await fetch('/api/schema')).json();
  return schema.controls.filter((c) => !document.querySelector('label[for="attr-' + c.name + '"]').title
      .startsWith(c.description) || c.description.length < 10).map((c) => c.name);
})())"),
              json::array());
}

TEST_F(Page, EachSideHasItsOwnEccentricityAndTheNotesSayWhatReachesOnePanel)
{
    const json sides = browser.evaluate(session, R"(['maya:eccentricity', 'mentalray:eccentricity'].map((n) => {
  const slider = document.getElementById('attr-' + n);
  return { max: Number(slider.max), value: slider.parentElement.querySelector('input.value').value,
           tip: slider.parentElement.querySelector('label').title };
}))");
    EXPECT_EQ(sides[0]["value"], "0.15");
    EXPECT_EQ(sides[1]["value"], "40");
    EXPECT_LT(sides[0]["max"].get<double>(), sides[1]["max"].get<double>());
    EXPECT_NE(sides[0]["tip"].get<std::string>().find("6 / eccentricity"), std::string::npos) << sides[0]["tip"];
    EXPECT_EQ(browser.evaluate(session, "document.getElementById('attr-eccentricity')"), nullptr);

    // The opened look reaches both panels as the command line's look does: no notes.
    EXPECT_EQ(browser.evaluate(session, "document.getElementById('notes-box').hidden"), true);
    browser.evaluate(session, moveSlider("attr-outLineWidth", 0.6));
    const json notes = browser.evaluate(session, R"(({ hidden: document.getElementById('notes-box').hidden,
  text: document.getElementById('notes').textContent }))");
    EXPECT_EQ(notes["hidden"], false);
    EXPECT_NE(notes["text"].get<std::string>().find("outLineWidth changes the Maya panel only"), std::string::npos)
        << notes["text"];
    // One side's eccentricity changes that panel alone.
    const json one = browser.evaluate(session, moveSlider("attr-mentalray:eccentricity", 10));
    EXPECT_EQ(one["changed"], json({false, true}));
}

TEST_F(Page, ExportDownloadsTheLookInEachForm)
{
    browser.evaluate(session, typeInto("attr-diffuse", "0.42"));
    const json files = browser.evaluate(session, R"((async () => {
  document.getElementById('look-name').value = 'brassLook';
  const makeUrl = URL.createObjectURL, click = HTMLAnchorElement.prototype.click;
  const files = [];
  let blob = null;
  URL.createObjectURL = (b) => { blob = b; return makeUrl(b); };
  HTMLAnchorElement.prototype.click = function () { files.push({ name: this.download, blob }); };
  for (const b of document.querySelectorAll('[data-export]')) {
    const count = files.length;
    b.click();
    const start = performance.now();
    while (files.length === count && performance.now() - start < 20000) await new Promise((r) => setTimeout(r, 10));
  }
  URL.createObjectURL = makeUrl;
  HTMLAnchorElement.prototype.click = click;
  return Promise.all(files.map(async (f) => ({ name: f.name, text: await f.blob.text() })));
})())");
    ASSERT_EQ(files.size(), 4u) << files.dump();
    for (const json& f : files) {
        EXPECT_EQ(f["name"].get<std::string>().rfind("brassLook", 0), 0u) << f["name"];
        EXPECT_NE(f["text"].get<std::string>().find("0.42"), std::string::npos) << f["name"];
    }
    EXPECT_NE(files[2]["name"].get<std::string>().find(".mi"), std::string::npos);
    EXPECT_EQ(json::parse(files[3]["text"].get<std::string>())["diffuse"], 0.42);
}

TEST_F(Page, WhenTheServerIsBusyItRetriesAndSaysSo)
{
    // The server answers busy twice (other pages' renders ahead), then draws.
    const json r = browser.evaluate(session, R"((async () => {
  const realFetch = window.fetch;
  let refusals = 0, clients = new Set();
  window.fetch = (url, options) => {
    if (url === '/api/render') clients.add(options.headers['X-Coolwarm-Client']);
    if (url === '/api/render' && refusals < 2) {
      refusals += 1;
      return Promise.resolve(new Response(JSON.stringify({ error: 'busy: other pages', stage: 'busy' }),
                                          { status: 409, headers: { 'Content-Type': 'application/json' } }));
    }
    return realFetch(url, options);
  };
  delete document.body.dataset.ready;
  const slider = document.getElementById('attr-blue');
  slider.value = '0.2';
  slider.dispatchEvent(new Event('input', { bubbles: true }));
  await new Promise((r) => setTimeout(r, 200));
  const during = document.getElementById('status').textContent;
  await )" + std::string(kWaitReady) + R"(;
  window.fetch = realFetch;
  return { during, after: document.getElementById('status').textContent, refusals, clients: [...clients] };
})())");
    EXPECT_NE(r["during"].get<std::string>().find("busy"), std::string::npos) << r.dump();
    EXPECT_EQ(r["after"], "");
    EXPECT_EQ(r["refusals"], 2);
    // Every render names this page.
    ASSERT_EQ(r["clients"].size(), 1u);
    EXPECT_EQ(r["clients"][0].get<std::string>().rfind("page-", 0), 0u);
}

TEST_F(Page, CommandLineMatchesTheControls)
{
    browser.evaluate(session, moveSlider("attr-alpha", 0.5));
    const json command = browser.evaluate(session, R"((async () => {
  document.getElementById('copy-command').click();
  await new Promise((r) => setTimeout(r, 50));
  return document.getElementById('command').value;
})())");
    const std::string text = command.get<std::string>();
    EXPECT_EQ(text.rfind("coolwarm render ", 0), 0u) << text;
    EXPECT_NE(text.find("--set alpha=0.5"), std::string::npos) << text;
}

TEST_F(Page, FitsLaptopAndNarrowWidthsWithoutSideScrolling)
{
    for (int width : {1280, 1024, 700}) {
        resize(width, 800);
        EXPECT_EQ(browser.evaluate(session, "document.documentElement.scrollWidth <= window.innerWidth"), true)
            << width;
    }
}
