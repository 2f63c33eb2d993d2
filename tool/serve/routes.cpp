// The server's routes: the Host check before any, the page's files, the
// version and the schema, POST /api/render through the render gate, and the
// answer to a failure.
#include "lookdev.h"
#include "renderGate.h"
#include "webAssets.h"

#include "core/errors.h"
#include "render/image.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>

namespace cwtool {
namespace lookdev {

namespace {

void sendError(httplib::Response& res, int status, const std::string& message, ordered_json extra = ordered_json::object())
{
    ordered_json body{{"error", message}};
    body.update(extra);
    res.status = status;
    // A message may quote the request (a Host header), whatever its bytes.
    res.set_content(body.dump(-1, ' ', false, ordered_json::error_handler_t::replace) + "\n", "application/json");
}

// The names and addresses this machine answers to, for a server listening on
// every address: its host name and each interface's address (IPv4 only for
// 0.0.0.0; both families for ::, which takes IPv4 too).
std::vector<std::string> machineNames(bool withV6)
{
    std::vector<std::string> names;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0 && name[0])
        names.push_back(name);
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return names;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr)
            continue;
        char text[INET6_ADDRSTRLEN] = {};
        const int family = i->ifa_addr->sa_family;
        if (family == AF_INET)
            inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof text);
        else if (family == AF_INET6 && withV6 &&
                 !IN6_IS_ADDR_LINKLOCAL(&reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr))
            inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(i->ifa_addr)->sin6_addr, text, sizeof text);
        if (text[0])
            names.push_back(text);
    }
    freeifaddrs(list);
    return names;
}

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The Host values a browser sends for the served address (host names in lower
// case). Anything else is a page on another name trying to reach this server
// through the browser.
std::set<std::string> allowedHosts(const std::string& host, int port, const std::vector<std::string>& extra)
{
    const std::string p = ":" + std::to_string(port);
    std::vector<std::string> names{host};
    if (host == "127.0.0.1" || host == "localhost" || host == "::1" || host == "0.0.0.0" || host == "::")
        names.insert(names.end(), {"127.0.0.1", "localhost", "::1"});
    if (host == "0.0.0.0" || host == "::") {
        const std::vector<std::string> own = machineNames(host == "::");
        names.insert(names.end(), own.begin(), own.end());
    }
    names.insert(names.end(), extra.begin(), extra.end());
    std::set<std::string> hosts;
    for (const std::string& name : names) {
        const std::string bare = lowerCase(name.find(':') != std::string::npos ? "[" + name + "]" : name);
        hosts.insert(bare + p);
        if (port == 80)
            hosts.insert(bare);
    }
    return hosts;
}

void guardHost(httplib::Server& server, const std::string& served, int port, const std::vector<std::string>& extra)
{
    server.set_pre_routing_handler([hosts = allowedHosts(served, port, extra), served, port](
                                       const httplib::Request& req, httplib::Response& res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Cache-Control", "no-store");
        const std::string host = req.get_header_value("Host");
        if (hosts.count(lowerCase(host)))
            return httplib::Server::HandlerResponse::Unhandled;
        sendError(res, 403, "Host '" + host + "' is not the address this server serves (" + urlOf(served, port) + ")");
        return httplib::Server::HandlerResponse::Handled;
    });
}

// The page's files, the version and the schema: answers made at start-up.
void addPageRoutes(httplib::Server& server, const Lookdev& lookdev)
{
    for (int i = 0; i < kWebAssetCount; ++i) {
        const WebAsset& asset = kWebAssets[i];
        server.Get(asset.path, [&asset](const httplib::Request&, httplib::Response& res) {
            res.set_header("Content-Security-Policy",
                           "default-src 'self'; img-src 'self' blob: data:; object-src 'none'; base-uri 'none'; "
                           "frame-ancestors 'none'");
            res.set_content(asset.body, asset.size, asset.type);
        });
    }
    server.Get("/api/version", [&lookdev](const httplib::Request&, httplib::Response& res) {
        res.set_content(lookdev.version, "application/json");
    });
    server.Get("/api/schema", [&lookdev](const httplib::Request&, httplib::Response& res) {
        res.set_content(lookdev.schema, "application/json");
    });
}

// The body as JSON; throws BadRequest.
json jsonBody(const httplib::Request& req)
{
    // A JSON body cannot be sent across origins without the browser asking
    // first, and this server never says yes.
    const std::string type = req.get_header_value("Content-Type");
    if (type.compare(0, 16, "application/json") != 0)
        throw BadRequest("Content-Type: expected application/json, not '" + type + "'");
    return parseBody(req.body);
}

// The request's job and posed scene; false when the reply is already an error.
bool readRenderRequest(const httplib::Request& req, httplib::Response& res, const Lookdev& lookdev, RenderJob& job,
                       Scene& scene)
{
    try {
        job = parseRenderRequest(jsonBody(req), lookdev.controls, lookdev.sides, lookdev.scenes);
    } catch (const BadRequest& e) {
        sendError(res, 400, e.what());
        return false;
    }
    try {
        scene = posedScene(job);
    } catch (const InputError& e) {
        sendError(res, 400, e.what());
        return false;
    }
    return true;
}

// The page's id from X-Coolwarm-Client: a request supersedes only requests
// with the same id (those without one share the empty id).
std::string clientOf(const httplib::Request& req)
{
    const std::string id = req.get_header_value("X-Coolwarm-Client");
    if (id.size() > 64 || !std::all_of(id.begin(), id.end(), [](unsigned char c) {
            return std::isalnum(c) || c == '-' || c == '_';
        }))
        throw BadRequest("X-Coolwarm-Client: expected at most 64 letters, digits, '-' or '_'");
    return id;
}

void answerRender(const httplib::Request& req, httplib::Response& res, const Lookdev& lookdev, RenderGate& gate,
                  RayScene& rays)
{
    std::string client;
    try {
        client = clientOf(req);
    } catch (const BadRequest& e) {
        sendError(res, 400, e.what());
        return;
    }
    RenderJob job;
    Scene scene;
    if (!readRenderRequest(req, res, lookdev, job, scene))
        return;
    // What `coolwarm render` would note for the same scene and the same
    // settings given as --set; escaped to ASCII for the header.
    std::vector<std::string> noteList = job.scene->scene.notes;
    const std::vector<std::string> settingList = settingNotes(job, lookdev.controls, lookdev.plugin, lookdev.shader);
    noteList.insert(noteList.end(), settingList.begin(), settingList.end());
    const std::string notes = json(noteList).dump(-1, ' ', true);
    job.settings.linearOutput = job.format == "exr";
    job.settings.labels = false;  // the page names the panels itself
    int tilesDone = 0, tiles = 0;
    job.settings.progress = [&](int done, int total) {
        tilesDone = done;
        tiles = total;
    };
    Image image;
    double seconds = 0.0;
    std::string refused;  // a scene the renderer cannot draw is the request's fault
    const RenderGate::Outcome outcome = gate.run(client, [&](const std::atomic<bool>& cancel) {
        job.settings.cancel = &cancel;
        const auto start = std::chrono::steady_clock::now();
        try {
            image = render(scene, job.settings, job.settings.renderer == Renderer::MentalRay ? nullptr : &lookdev.plugin,
                           job.settings.renderer == Renderer::Maya ? nullptr : &lookdev.shader, nullptr, &rays);
        } catch (const RenderCancelled&) {
            return;
        } catch (const InputError& e) {
            refused = e.what();
            return;
        }
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    if (!refused.empty()) {
        sendError(res, 400, refused);
        return;
    }
    if (outcome == RenderGate::Busy) {
        res.set_header("Retry-After", "1");
        sendError(res, 409, "busy: other pages' renders are ahead of this one; try again", {{"stage", "busy"}});
        return;
    }
    if (outcome != RenderGate::Done) {
        sendError(res, 409, "superseded by a newer render request",
                  {{"stage", outcome == RenderGate::SupersededQueued ? "queued" : "running"},
                   {"tilesDone", tilesDone},
                   {"tiles", tiles}});
        return;
    }
    std::string panels;
    for (const std::string& p : image.panels)
        panels += (panels.empty() ? "" : ",") + p;
    res.set_header("X-Coolwarm-Panels", panels);
    res.set_header("X-Coolwarm-Render-Seconds", std::to_string(seconds));
    res.set_header("X-Coolwarm-Notes", notes);
    res.set_content(encodeImage(image, job.format,
                                "coolwarm preview of " + scene.description + "; panels from the left: " + panels),
                    job.format == "png" ? "image/png" : "image/x-exr");
}

// POST /api/export: the look in a host's form, as a file to save.
void answerExport(const httplib::Request& req, httplib::Response& res, const Lookdev& lookdev)
{
    ExportJob job;
    try {
        job = parseExportRequest(jsonBody(req), lookdev.controls, lookdev.sides);
    } catch (const BadRequest& e) {
        sendError(res, 400, e.what());
        return;
    }
    const std::string text =
        exportLook(job.look, job.format, job.name, lookdev.plugin.type(), lookdev.shader.declaration());
    const std::string file = (job.name.empty() ? std::string(kDefaultExportName) : job.name) + "." +
                             exportExtension(job.format);
    res.set_header("Content-Disposition", "attachment; filename=\"" + file + "\"");
    res.set_content(text, job.format == ExportFormat::Json ? "application/json" : "text/plain; charset=utf-8");
}

void answerFailures(httplib::Server& server)
{
    server.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr failure) {
        std::string why = "unknown failure";
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& e) {
            why = e.what();
        } catch (...) {
        }
        std::fprintf(stderr, "coolwarm: internal failure: %s\n", why.c_str());
        sendError(res, 500, "internal failure: " + why);
    });
}

}  // namespace

void addRoutes(httplib::Server& server, const Lookdev& lookdev, RenderGate& gate, const ServeOptions& options,
               int port)
{
    guardHost(server, options.host, port, options.allowHosts);
    addPageRoutes(server, lookdev);
    // The last render's ray-casting scene: the next render of the same scene
    // builds nothing, one of another scene rebuilds the meshes that differ.
    auto rays = std::make_shared<RayScene>();
    server.Post("/api/render", [&lookdev, &gate, rays](const httplib::Request& req, httplib::Response& res) {
        answerRender(req, res, lookdev, gate, *rays);
    });
    server.Post("/api/export", [&lookdev](const httplib::Request& req, httplib::Response& res) {
        answerExport(req, res, lookdev);
    });
    answerFailures(server);
}

std::string urlOf(const std::string& host, int port)
{
    const std::string shown = host == "0.0.0.0" ? "127.0.0.1" : host == "::" ? "::1" : host;
    return "http://" + (shown.find(':') != std::string::npos ? "[" + shown + "]" : shown) + ":" +
           std::to_string(port) + "/";
}

}  // namespace lookdev
}  // namespace cwtool
