// The lookdev server's request handling: bytes in as a client sends them, the
// response out, through the server's own connection reader and router. Renders
// are not run (the render gate is stopped, so each answers 409 at once); every
// other route is. Every response must be a complete HTTP/1.1 one.
#include "serve/boundedServer.h"
#include "serve/lookdev.h"
#include "serve/renderGate.h"
#include "serve/serve.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

namespace {

struct Served {
    cwtool::ServeOptions options;
    cwtool::lookdev::Lookdev lookdev{options};
    cwtool::lookdev::RenderGate gate;
    cwtool::lookdev::BoundedServer server{fuzzLimits()};

    Served()
    {
        gate.stop();
        cwtool::lookdev::addRoutes(server, lookdev, gate, options, 8080);
    }
    static cwtool::lookdev::ConnectionLimits fuzzLimits()
    {
        cwtool::lookdev::ConnectionLimits limits;
        limits.headSeconds = 1;  // the input is all there is: waiting longer finds nothing more
        limits.idleSeconds = 0;
        return limits;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Served* served = new Served;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        std::abort();
    const int room = 1 << 20;  // the whole input fits before the server reads
    setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    if (size > 0 && write(pair[0], data, size) != static_cast<ssize_t>(size))
        std::abort();
    shutdown(pair[0], SHUT_WR);
    // The responses are taken as they come, however long.
    std::string response;
    std::thread reader([&] {
        char chunk[65536];
        for (ssize_t n; (n = read(pair[0], chunk, sizeof chunk)) > 0;)
            response.append(chunk, static_cast<std::size_t>(n));
    });
    served->server.serveSocket(pair[1]);  // closes its end
    reader.join();
    close(pair[0]);
    if (!response.empty() && response.compare(0, 9, "HTTP/1.1 ") != 0)
        std::abort();
    return 0;
}
