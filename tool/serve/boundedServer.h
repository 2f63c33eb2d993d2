// The lookdev server's connections, bounded whatever its clients do. The HTTP
// library reads requests with a timeout per read only, takes chunked and
// compressed bodies past its size limit, counts no headers, and waits for its
// busy workers when stopped; so each connection's requests are read here, with
// deadlines and limits, and handed to the library whole, from memory.
#ifndef COOLWARM_TOOL_SERVE_BOUNDEDSERVER_H
#define COOLWARM_TOOL_SERVE_BOUNDEDSERVER_H

#include <httplib.h>

#include <atomic>
#include <cstddef>

namespace cwtool {
namespace lookdev {

struct ConnectionLimits {
    std::size_t maxBodyBytes = 64 * 1024;  // after chunked decoding: 413
    std::size_t maxHeadBytes = 16 * 1024;  // request line and headers: 431
    int maxHeaders = 64;                   // 431
    int maxConnections = 48;               // more at once: 503, closed
    int headSeconds = 5;                   // a request's head and body must arrive within this
    int idleSeconds = 2;                   // between requests on one connection
    int writeSeconds = 10;                 // a response must be taken within this
};

class BoundedServer : public httplib::Server {
public:
    explicit BoundedServer(const ConnectionLimits& limits);
    // Workers for the connections: every allowed connection has one, and a
    // few more refuse the surplus at once.
    int workers() const { return limits_.maxConnections + 8; }
    // Stops listening and ends every connection within a fraction of a second,
    // whatever its client is doing.
    void stopNow();
    // After binding: the library listens with a backlog of 5, which makes
    // the connections of a burst past it wait for the client's SYN retry (1 s
    // and more); Linux takes a second listen() as the new backlog.
    void widenBacklog();
    // Serves one connection already accepted, then closes it: what the
    // workers do, for tests and fuzzers that hand it one end of a socket pair.
    void serveSocket(socket_t sock) { process_and_close_socket(sock); }

private:
    bool process_and_close_socket(socket_t sock) override;
    void serveConnection(socket_t sock);

    ConnectionLimits limits_;
    std::atomic<int> active_{0};
    std::atomic<bool> stopping_{false};
};

}  // namespace lookdev
}  // namespace cwtool

#endif
