// The lookdev server bounded whatever its clients do: body limits for every
// transfer encoding, no compressed bodies, bounded headers, slow clients timed
// out and capped, and a stop within 2 s whatever is connected. Traffic goes to
// loopback only.
#include "serverProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using testing::HasSubstr;

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

// A raw connection to the server on 127.0.0.1.
class Raw {
public:
    explicit Raw(int port)
    {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~Raw() { close(fd_); }
    Raw(const Raw&) = delete;
    Raw& operator=(const Raw&) = delete;

    bool connected() const { return connected_; }
    bool send(const std::string& bytes) { return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size()); }

    // What arrives within `seconds`, or until the server closes (or, with
    // `firstLine`, until a whole line has come).
    std::string receive(double seconds, bool firstLine = false)
    {
        std::string out;
        const Clock::time_point start = Clock::now();
        for (;;) {
            const int left = static_cast<int>(1000 * (seconds - secondsSince(start)));
            pollfd p{fd_, POLLIN, 0};
            if (left <= 0 || poll(&p, 1, left) <= 0)
                return out;
            char chunk[4096];
            const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                return out;
            out.append(chunk, static_cast<std::size_t>(n));
            if (firstLine && out.find("\r\n") != std::string::npos)
                return out;
        }
    }
    // The status of the first response that arrives within `seconds` (0: none).
    int status(double seconds)
    {
        const std::string r = receive(seconds, true);
        return r.compare(0, 9, "HTTP/1.1 ") == 0 ? std::atoi(r.c_str() + 9) : 0;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

std::string post(int port, const std::string& headers, const std::string& body)
{
    return "POST /api/render HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nContent-Type: application/json\r\n" + headers + "\r\n" + body;
}

std::string chunked(const std::string& body, std::size_t piece)
{
    std::string out;
    for (std::size_t at = 0; at < body.size(); at += piece) {
        const std::string part = body.substr(at, piece);
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", part.size());
        out += size + part + "\r\n";
    }
    return out + "0\r\n\r\n";
}

TEST(ServeBounds, BodiesHeadersAndEncodingsHaveLimits)
{
    ServerProcess server;
    const int port = server.port();
    auto answer = [&](const std::string& request) {
        Raw c(port);
        EXPECT_TRUE(c.connected());
        c.send(request);
        return c.status(5);
    };
    const std::string small = R"({"width": 8, "height": 8})";
    const std::string large = "{\"width\": 8" + std::string(70 * 1024, ' ') + "}";
    // Chunked: within the limit it is a request like any other; past it, 413.
    EXPECT_EQ(answer(post(port, "Transfer-Encoding: chunked\r\n", chunked(small, 5))), 200);
    EXPECT_EQ(answer(post(port, "Transfer-Encoding: chunked\r\n", chunked(large, 4096))), 413);
    EXPECT_EQ(answer(post(port, "Content-Length: " + std::to_string(large.size()) + "\r\n", large)), 413);
    EXPECT_EQ(answer(post(port, "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n", chunked(small, 5))), 400);
    // Compressed bodies are refused, however small.
    EXPECT_EQ(answer(post(port, "Content-Encoding: gzip\r\nContent-Length: 4\r\n", "\x1f\x8b\x08\x00")), 415);
    // Header count and size.
    std::string many;
    for (int i = 0; i < 100; ++i)
        many += "X-Filler-" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(answer(post(port, many + "Content-Length: 2\r\n", "{}")), 431);
    EXPECT_EQ(answer(post(port, "X-Long: " + std::string(20000, 'a') + "\r\nContent-Length: 2\r\n", "{}")), 431);
    // Header bytes that are not UTF-8, quoted in a refusal, neither end the
    // server nor make it fail.
    EXPECT_EQ(answer(post(port, "Transfer-Encoding: chunked\xff\r\n", chunked(small, 5))), 400);
    EXPECT_EQ(answer("GET /api/version HTTP/1.1\r\nHost: \xff\x01:8080\r\n\r\n"), 403);
    EXPECT_EQ(answer("GET /api/version HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n"), 200);
    // A refusal carries a JSON error naming the limit.
    Raw c(port);
    c.send(post(port, "Content-Encoding: br\r\nContent-Length: 2\r\n", "{}"));
    EXPECT_THAT(c.receive(5), HasSubstr("{\"error\": \"compressed request bodies are not accepted (Content-Encoding: br)\"}"));
}

// Slow clients hold a connection each, but every request of a normal client
// is answered within 2 s; they are timed out; the surplus over the cap is
// refused at once.
TEST(ServeBounds, SlowClientsDoNotStopTheServerAnsweringOthers)
{
    ServerProcess server;
    const int port = server.port();
    const Clock::time_point started = Clock::now();
    std::vector<std::unique_ptr<Raw>> slow;
    for (int i = 0; i < 30; ++i) {
        slow.emplace_back(new Raw(port));
        slow.back()->send("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n");  // and no more
    }
    double worst = 0.0, total = 0.0;
    int answered = 0;
    const Clock::time_point soak = Clock::now();
    for (int i = 0; i < 200; ++i) {
        Raw c(port);
        const Clock::time_point start = Clock::now();
        c.send("GET /api/version HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nConnection: close\r\n\r\n");
        answered += c.status(2.5) == 200;
        const double took = secondsSince(start);
        worst = std::max(worst, took);
        total += took;
        // Slow clients trickle a header now and then.
        if (i % 20 == 0)
            for (auto& s : slow)
                s->send("X-Slow: 1\r\n");
    }
    std::printf("soak: 30 slow clients, 200 requests answered %d, mean %.4f s, worst %.4f s, all in %.2f s\n",
                answered, total / 200, worst, secondsSince(soak));
    EXPECT_EQ(answered, 200);
    EXPECT_LT(worst, 2.0);
    // A head not complete within 5 s is answered 408 and closed.
    EXPECT_EQ(slow.front()->status(8), 408);
    EXPECT_LT(secondsSince(started), 7.0);

    // Past the cap of 48 connections, the surplus is refused at once.
    slow.clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::vector<std::unique_ptr<Raw>> idle;
    for (int i = 0; i < 56; ++i)
        idle.emplace_back(new Raw(port));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    int refused = 0;
    for (auto& c : idle)
        refused += c->status(0.01) == 503;
    EXPECT_EQ(refused, 8);
}

TEST(ServeBounds, StopSignalsEndItWithin2SecondsWhateverClientsDo)
{
    for (int signal : {SIGTERM, SIGINT}) {
        ServerProcess server;
        const int port = server.port();
        std::vector<std::unique_ptr<Raw>> slow;
        for (int i = 0; i < 30; ++i) {
            slow.emplace_back(new Raw(port));
            slow.back()->send("POST /api/render HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 100\r\n\r\n{");
        }
        // A render under way, too.
        Raw rendering(port);
        const std::string big = R"({"width": 2048, "height": 2048, "samples": 16})";
        rendering.send(post(port, "Content-Length: " + std::to_string(big.size()) + "\r\n", big));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(server.stop(signal), 0);
        const double took = secondsSince(start);
        std::printf("signal %d: stopped in %.3f s with 31 clients connected\n", signal, took);
        EXPECT_LT(took, 2.0) << "signal " << signal;
    }
}

}  // namespace

namespace {

// A scene the renderer cannot frame is the request's fault (400), and the
// server goes on.
TEST(ServeBounds, AnUndrawableSceneIsABadRequest)
{
    // The ground is left out of the framing, and lies beyond what the renderer can frame.
    const std::string obj = "/tmp/coolwarm-far-" + std::to_string(getpid()) + ".json";
    std::FILE* f = std::fopen(obj.c_str(), "w");
    std::fputs("{\"meshes\": [{\"builtin\": \"sphere\"}, {\"builtin\": \"ground\", \"translate\": [1e17, 0, 0]}]}", f);
    std::fclose(f);
    ServerProcess server({"--scene", obj});
    const int port = server.port();
    const std::string body = "{\"scene\": \"" + obj + "\", \"width\": 8, \"height\": 8}";
    Raw c(port);
    c.send(post(port, "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n", body));
    const std::string r = c.receive(10);
    EXPECT_EQ(r.compare(0, 12, "HTTP/1.1 400"), 0) << r;
    EXPECT_THAT(r, HasSubstr("beyond 1e16 from the origin"));
    Raw after(port);
    after.send("GET /api/version HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(after.status(5), 200);
    std::remove(obj.c_str());
}

}  // namespace
