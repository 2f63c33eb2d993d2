#include "serve.h"

#include "boundedServer.h"
#include "lookdev.h"
#include "renderGate.h"

#include "core/errors.h"
#include "scene/scene.h"
#include "scene/sceneFile.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace cwtool {
namespace lookdev {

namespace {

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

Lookdev::Lookdev(const ServeOptions& options)
    : layout(findLayout()),
      plugin(layout),
      shader(layout),
      look(builtinLook()),
      sides(buildSideControls(plugin, shader)),
      controls(buildControls(sides, look))
{
    scenes.push_back(makeEntry("built-in", "Built-in scene", defaultScene(), look));
    scenes.push_back(makeEntry("swatch", "Sphere swatch", swatchScene(), look));
    for (const std::string& path : options.scenes) {
        if (std::any_of(scenes.begin(), scenes.end(), [&](const SceneEntry& e) { return e.id == path; }))
            throw InputError("--scene '" + path + "': named twice");
        const bool sceneFile = path.size() > 5 && path.compare(path.size() - 5, 5, ".json") == 0;
        Scene scene = sceneFile ? loadSceneFile(path, kDefaultCreaseDegrees) : loadObjScene(path, kDefaultCreaseDegrees);
        checkSettings(scene.material.values, "--scene '" + path + "' material", false, Renderer::Both, plugin, shader);
        scenes.push_back(makeEntry(path, baseName(path), std::move(scene), look));
        scenes.back().fromObj = !sceneFile;
    }
    schema = schemaJson(look, controls, scenes, plugin, shader).dump();
    version = ordered_json{{"tool", "coolwarm"},
                           {"version", COOLWARM_VERSION},
                           {"node", {{"name", plugin.type().name}, {"id", plugin.type().id}}},
                           {"shader", {{"name", shader.declaration().name}, {"version", shader.declaration().version}}}}
                  .dump();
}

namespace {

// SIGINT and SIGTERM go to one thread, which stops the server; every other
// thread inherits the blocked mask.
sigset_t blockStopSignals()
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    return stopSignals;
}

// An address to listen on: an IPv4 or IPv6 address, or a host name that
// resolves. Anything else (an empty one, "host:port") is refused before the
// server starts, rather than a server starting that no Host header can reach.
void checkHost(const std::string& host)
{
    const std::string what = "--host '" + host + "'";
    if (host.empty())
        throw InputError(what + ": expected an address to listen on, such as 127.0.0.1 or ::1");
    unsigned char address[sizeof(in6_addr)];
    if (inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1)
        return;
    const bool nameLike = std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    });
    if (!nameLike)
        throw InputError(what + ": not an IPv4 or IPv6 address or a host name");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (error != 0)
        throw InputError(what + ": not an address of this machine's names: " + gai_strerror(error));
    freeaddrinfo(found);
}

// The server's threads, limits and socket, bound to the address asked for;
// returns the port.
int startServer(BoundedServer& server, const ServeOptions& options)
{
    checkHost(options.host);
    // The library's default also sets SO_REUSEPORT, which would let a second
    // server share the port unnoticed.
    server.set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Timeouts and limits are the connections' own (ConnectionLimits): the
    // library's apply to reads it no longer makes.

    int port = options.port;
    if (port == 0)
        port = server.bind_to_any_port(options.host);
    else if (!server.bind_to_port(options.host, port))
        port = -1;
    if (port <= 0)
        throw InputError("--host '" + options.host + "' --port " + std::to_string(options.port) +
                         ": cannot listen there (in use, or not an address of this machine)");
    server.widenBacklog();
    return port;
}

// Waits for a stop signal (until `done`), then cancels the renders and stops
// the server.
void stopOnSignal(const sigset_t& stopSignals, const std::atomic<bool>& done, RenderGate& gate,
                  BoundedServer& server)
{
    const timespec poll{0, 200 * 1000 * 1000};
    while (!done.load())
        if (sigtimedwait(&stopSignals, nullptr, &poll) > 0) {
            gate.stop();
            // stop() does nothing until the server has begun listening.
            while (!done.load() && !server.is_running())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            server.stopNow();
            return;
        }
}

// A name or address as a Host header carries it, without the port.
void checkAllowedHosts(const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        const bool v6 = std::count(name.begin(), name.end(), ':') > 1;
        const bool fine = !name.empty() && name.size() <= 253 && std::all_of(name.begin(), name.end(), [&](unsigned char c) {
            return std::isalnum(c) || c == '-' || c == '.' || (v6 && c == ':');
        });
        if (!fine)
            throw InputError("--allow-host '" + name + "': expected a host name or address, without a port");
    }
}

}  // namespace
}  // namespace lookdev

int runServe(const ServeOptions& options)
{
    using namespace lookdev;
    checkAllowedHosts(options.allowHosts);
    // Everything is loaded before the first request: no request names a file.
    const Lookdev loaded(options);
    // What loading found in the scenes (normals turned, and the like), as the
    // command line says it; the page also shows them with each picture.
    for (const SceneEntry& e : loaded.scenes)
        for (const std::string& note : e.scene.notes)
            std::fprintf(stderr, "coolwarm: note: %s\n", note.c_str());
    const sigset_t stopSignals = blockStopSignals();
    ConnectionLimits limits;
    limits.maxBodyBytes = kMaxRequestBytes;
    BoundedServer server(limits);
    const int port = startServer(server, options);
    RenderGate gate;
    addRoutes(server, loaded, gate, options, port);

    std::atomic<bool> done{false};
    std::thread signalWaiter([&] { stopOnSignal(stopSignals, done, gate, server); });
    std::printf("coolwarm lookdev page: %s  (Ctrl-C stops)\n", urlOf(options.host, port).c_str());
    std::fflush(stdout);
    const bool listened = server.listen_after_bind();
    done = true;
    signalWaiter.join();
    std::printf("stopped\n");
    return listened ? kExitOk : kExitInternal;
}

}  // namespace cwtool
