// The server's routes: the Host check before any, the page's files, the
// version and the schema, POST /api/render through the render gate, and the
// answer to a failure.
#include "lookdev.h"
#include "renderGate.h"
#include "webAssets.h"

#include "core/errors.h"
#include "render/image.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
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

// The Host values a browser sends for the served address. Anything else is a
// page on another name trying to reach this server through the browser.
std::set<std::string> allowedHosts(const std::string& host, int port)
{
    const std::string p = ":" + std::to_string(port);
    const bool v6 = host.find(':') != std::string::npos;
    std::set<std::string> hosts{(v6 ? "[" + host + "]" : host) + p};
    if (host == "127.0.0.1" || host == "localhost" || host == "::1" || host == "0.0.0.0" || host == "::")
        hosts.insert({"127.0.0.1" + p, "localhost" + p, "[::1]" + p});
    if (port == 80) {
        std::set<std::string> bare;
        for (const std::string& h : hosts)
            bare.insert(h.substr(0, h.size() - p.size()));
        hosts.insert(bare.begin(), bare.end());
    }
    return hosts;
}

void guardHost(httplib::Server& server, const std::string& served, int port)
{
    server.set_pre_routing_handler([hosts = allowedHosts(served, port), served, port](const httplib::Request& req,
                                                                                      httplib::Response& res) {
        res.set_header("X-Content-Type-Options", "nosniff");
        res.set_header("Cache-Control", "no-store");
        const std::string host = req.get_header_value("Host");
        if (hosts.count(host))
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

// The request's job and posed scene; false when the reply is already an error.
bool readRenderRequest(const httplib::Request& req, httplib::Response& res, const Lookdev& lookdev, RenderJob& job,
                       Scene& scene)
{
    try {
        // A JSON body cannot be sent across origins without the browser
        // asking first, and this server never says yes.
        const std::string type = req.get_header_value("Content-Type");
        if (type.compare(0, 16, "application/json") != 0)
            throw BadRequest("Content-Type: expected application/json, not '" + type + "'");
        job = parseRenderRequest(parseBody(req.body), lookdev.controls, lookdev.scenes);
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

void answerRender(const httplib::Request& req, httplib::Response& res, const Lookdev& lookdev, RenderGate& gate)
{
    RenderJob job;
    Scene scene;
    if (!readRenderRequest(req, res, lookdev, job, scene))
        return;
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
    const RenderGate::Outcome outcome = gate.run([&](const std::atomic<bool>& cancel) {
        job.settings.cancel = &cancel;
        const auto start = std::chrono::steady_clock::now();
        try {
            image = render(scene, job.settings, job.settings.renderer == Renderer::MentalRay ? nullptr : &lookdev.plugin,
                           job.settings.renderer == Renderer::Maya ? nullptr : &lookdev.shader);
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
    res.set_content(encodeImage(image, job.format,
                                "coolwarm preview of " + scene.description + "; panels from the left: " + panels),
                    job.format == "png" ? "image/png" : "image/x-exr");
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

void addRoutes(httplib::Server& server, const Lookdev& lookdev, RenderGate& gate, const std::string& host, int port)
{
    guardHost(server, host, port);
    addPageRoutes(server, lookdev);
    server.Post("/api/render", [&lookdev, &gate](const httplib::Request& req, httplib::Response& res) {
        answerRender(req, res, lookdev, gate);
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
