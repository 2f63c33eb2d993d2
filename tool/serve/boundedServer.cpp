#include "boundedServer.h"

#include <nlohmann/json.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace cwtool {
namespace lookdev {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the socket to be ready for `events`, in short slices so that a
// stop is noticed at once: 1 ready, 0 past the deadline, -1 stopping or failed.
int waitFor(socket_t sock, short events, Clock::time_point deadline, const std::atomic<bool>& stopping)
{
    for (;;) {
        if (stopping.load())
            return -1;
        const Clock::time_point now = Clock::now();
        if (now >= deadline)
            return 0;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd p{sock, events, 0};
        const int r = poll(&p, 1, static_cast<int>(std::min<long long>(left, 100)));
        if (r > 0)
            return 1;
        if (r < 0 && errno != EINTR)
            return -1;
    }
}

bool sendAll(socket_t sock, const char* data, std::size_t n, Clock::time_point deadline,
             const std::atomic<bool>& stopping)
{
    while (n > 0) {
        if (waitFor(sock, POLLOUT, deadline, stopping) != 1)
            return false;
        const ssize_t k = send(sock, data, n, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (k < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            return false;
        }
        data += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return s;
}

std::string trimmed(const std::string& s)
{
    const std::size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

// One request, complete, as the library will read it; or the refusal to send.
struct Read {
    enum Kind { Request, Refusal, Gone } kind = Gone;
    std::string bytes;                    // the request, head and body
    int status = 0;                       // the refusal's
    std::string message;
};

Read refusal(int status, const std::string& message)
{
    Read r;
    r.kind = Read::Refusal;
    r.status = status;
    r.message = message;
    return r;
}

// A connection's bytes, read as they come, within deadlines.
class Connection {
public:
    Connection(socket_t sock, const ConnectionLimits& limits, const std::atomic<bool>& stopping)
        : sock_(sock), limits_(limits), stopping_(stopping)
    {
    }

    // The next request: its first byte within `wait` seconds, the whole of it
    // within headSeconds of that.
    Read next(int wait)
    {
        if (buffer_.empty() && !more(Clock::now() + std::chrono::seconds(wait)))
            return {};
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(limits_.headSeconds);
        std::size_t end;
        while ((end = buffer_.find("\r\n\r\n")) == std::string::npos) {
            if (buffer_.size() > limits_.maxHeadBytes)
                return refusal(431, "the request's head is longer than " + std::to_string(limits_.maxHeadBytes) +
                                        " bytes");
            if (!more(deadline))
                return timedOut(deadline);
        }
        if (end + 4 > limits_.maxHeadBytes)
            return refusal(431, "the request's head is longer than " + std::to_string(limits_.maxHeadBytes) + " bytes");
        const std::string head = buffer_.substr(0, end + 2);
        buffer_.erase(0, end + 4);

        // The request line, then the headers the library is to see.
        std::string kept = head.substr(0, head.find("\r\n") + 2), length, transfer, encoding;
        bool expectContinue = false;
        int count = 0;
        for (std::size_t at = kept.size(); at < head.size();) {
            const std::size_t eol = head.find("\r\n", at);
            const std::string line = head.substr(at, eol - at);
            at = eol + 2;
            if (++count > limits_.maxHeaders)
                return refusal(431, "the request has more than " + std::to_string(limits_.maxHeaders) + " headers");
            const std::size_t colon = line.find(':');
            const std::string name = lower(line.substr(0, colon)),
                              value = colon == std::string::npos ? "" : trimmed(line.substr(colon + 1));
            if (name == "content-length")
                length = value;
            else if (name == "transfer-encoding")
                transfer = lower(value);
            else if (name == "content-encoding")
                encoding = lower(value);
            else if (name == "expect")
                expectContinue = lower(value) == "100-continue";
            else
                kept += line + "\r\n";
        }
        if (!encoding.empty() && encoding != "identity")
            return refusal(415, "compressed request bodies are not accepted (Content-Encoding: " + encoding + ")");
        if (!transfer.empty() && transfer != "chunked")
            return refusal(400, "unsupported Transfer-Encoding: " + transfer);
        if (!transfer.empty() && !length.empty())
            return refusal(400, "a request has Content-Length or Transfer-Encoding, not both");
        std::size_t bodyBytes = 0;
        if (!length.empty()) {
            if (length.size() > 18 || length.find_first_not_of("0123456789") != std::string::npos)
                return refusal(400, "Content-Length: not a length");
            bodyBytes = std::stoull(length);
            if (bodyBytes > limits_.maxBodyBytes)
                return tooLarge();
        }
        if (expectContinue) {
            const char go[] = "HTTP/1.1 100 Continue\r\n\r\n";
            if (!sendAll(sock_, go, sizeof go - 1, deadline, stopping_))
                return {};
        }
        std::string body;
        if (transfer == "chunked") {
            Read r = chunked(body, deadline);
            if (r.kind != Read::Request)
                return r;
        } else {
            while (buffer_.size() < bodyBytes)
                if (!more(deadline))
                    return timedOut(deadline);
            body = buffer_.substr(0, bodyBytes);
            buffer_.erase(0, bodyBytes);
        }
        Read r;
        r.kind = Read::Request;
        r.bytes = kept + (body.empty() && length.empty() && transfer.empty()
                              ? std::string()
                              : "Content-Length: " + std::to_string(body.size()) + "\r\n") +
                  "\r\n" + body;
        return r;
    }

private:
    // Reads what has arrived; false when the peer has closed, the deadline has
    // passed or the server is stopping.
    bool more(Clock::time_point deadline)
    {
        for (;;) {
            if (waitFor(sock_, POLLIN, deadline, stopping_) != 1)
                return false;
            char chunk[16384];
            const ssize_t n = recv(sock_, chunk, sizeof chunk, MSG_DONTWAIT);
            if (n > 0) {
                buffer_.append(chunk, static_cast<std::size_t>(n));
                return true;
            }
            if (n == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
                return false;
        }
    }

    Read timedOut(Clock::time_point deadline) const
    {
        if (stopping_.load() || Clock::now() < deadline)
            return {};  // stopping, or the client left
        return refusal(408, "the request did not arrive within " + std::to_string(limits_.headSeconds) + " s");
    }

    Read tooLarge() const
    {
        return refusal(413, "the request body is larger than " + std::to_string(limits_.maxBodyBytes) + " bytes");
    }

    // A line of the chunked body, without its CRLF.
    bool line(std::string& out, Clock::time_point deadline)
    {
        std::size_t eol;
        while ((eol = buffer_.find("\r\n")) == std::string::npos) {
            if (buffer_.size() > 1024 || !more(deadline))
                return false;
        }
        out = buffer_.substr(0, eol);
        buffer_.erase(0, eol + 2);
        return true;
    }

    Read chunked(std::string& body, Clock::time_point deadline)
    {
        for (;;) {
            std::string size;
            if (!line(size, deadline))
                return Clock::now() < deadline ? refusal(400, "a malformed chunked body") : timedOut(deadline);
            const std::string digits = trimmed(size.substr(0, size.find(';')));
            if (digits.empty() || digits.size() > 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return refusal(400, "a malformed chunk size in the chunked body");
            const std::size_t n = std::stoul(digits, nullptr, 16);
            if (body.size() + n > limits_.maxBodyBytes)
                return tooLarge();
            if (n == 0)
                break;
            while (buffer_.size() < n + 2)
                if (!more(deadline))
                    return timedOut(deadline);
            if (buffer_.compare(n, 2, "\r\n") != 0)
                return refusal(400, "a malformed chunked body");
            body.append(buffer_, 0, n);
            buffer_.erase(0, n + 2);
        }
        // Trailers, which are dropped, up to the empty line.
        for (std::size_t trailers = 0;; ++trailers) {
            std::string trailer;
            if (!line(trailer, deadline) || trailers > static_cast<std::size_t>(limits_.maxHeaders))
                return refusal(400, "malformed trailers after the chunked body");
            if (trailer.empty())
                break;
        }
        Read r;
        r.kind = Read::Request;
        return r;
    }

    socket_t sock_;
    const ConnectionLimits& limits_;
    const std::atomic<bool>& stopping_;
    std::string buffer_;
};

// The library reads the request from memory and writes its response to the
// socket, within the write deadline.
class RequestStream : public httplib::Stream {
public:
    RequestStream(socket_t sock, const std::string& request, int writeSeconds, const std::atomic<bool>& stopping)
        : sock_(sock), request_(request), writeSeconds_(writeSeconds), stopping_(stopping)
    {
    }
    bool is_readable() const override { return at_ < request_.size(); }
    bool is_writable() const override
    {
        return waitFor(sock_, POLLOUT, Clock::now() + std::chrono::seconds(writeSeconds_), stopping_) == 1;
    }
    ssize_t read(char* ptr, size_t size) override
    {
        const std::size_t n = std::min(size, request_.size() - at_);
        std::memcpy(ptr, request_.data() + at_, n);
        at_ += n;
        return static_cast<ssize_t>(n);
    }
    ssize_t write(const char* ptr, size_t size) override
    {
        return sendAll(sock_, ptr, size, Clock::now() + std::chrono::seconds(writeSeconds_), stopping_)
                   ? static_cast<ssize_t>(size)
                   : -1;
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override { address(getpeername, ip, port); }
    void get_local_ip_and_port(std::string& ip, int& port) const override { address(getsockname, ip, port); }
    socket_t socket() const override { return sock_; }

private:
    template <class Get>
    void address(Get get, std::string& ip, int& port) const
    {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        ip.clear();
        port = 0;
        if (get(sock_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        char text[INET6_ADDRSTRLEN] = "";
        if (a.ss_family == AF_INET) {
            const auto* v4 = reinterpret_cast<const sockaddr_in*>(&a);
            inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
            port = ntohs(v4->sin_port);
        } else if (a.ss_family == AF_INET6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&a);
            inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
            port = ntohs(v6->sin6_port);
        }
        ip = text;
    }

    socket_t sock_;
    const std::string& request_;
    std::size_t at_ = 0;
    int writeSeconds_;
    const std::atomic<bool>& stopping_;
};

const char* reasonOf(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 408: return "Request Timeout";
    case 413: return "Payload Too Large";
    case 415: return "Unsupported Media Type";
    case 431: return "Request Header Fields Too Large";
    default: return "Service Unavailable";
    }
}

// Answers with the status and {"error": message}, then ends the connection,
// reading (briefly) what the client still sends so that it sees the answer.
void refuse(socket_t sock, int status, const std::string& message, int writeSeconds, const std::atomic<bool>& stopping)
{
    // The message may quote a header, whatever its bytes.
    const std::string body =
        "{\"error\": " + nlohmann::json(message).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "}";
    const std::string response = "HTTP/1.1 " + std::to_string(status) + " " + reasonOf(status) +
                                 "\r\nContent-Type: application/json\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    if (!sendAll(sock, response.data(), response.size(), Clock::now() + std::chrono::seconds(writeSeconds), stopping))
        return;
    shutdown(sock, SHUT_WR);
    const Clock::time_point drain = Clock::now() + std::chrono::milliseconds(250);
    char sink[16384];
    while (waitFor(sock, POLLIN, drain, stopping) == 1 && recv(sock, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

}  // namespace

BoundedServer::BoundedServer(const ConnectionLimits& limits) : limits_(limits)
{
    new_task_queue = [this] { return new httplib::ThreadPool(static_cast<size_t>(workers())); };
    set_payload_max_length(limits.maxBodyBytes);
}

void BoundedServer::widenBacklog() { ::listen(svr_sock_, 128); }

void BoundedServer::stopNow()
{
    stopping_ = true;
    stop();
}

bool BoundedServer::process_and_close_socket(socket_t sock)
{
    if (++active_ > limits_.maxConnections)
        refuse(sock, 503, "the server has " + std::to_string(limits_.maxConnections) +
                              " connections open, its most; try again", 1, stopping_);
    else if (!stopping_.load())
        serveConnection(sock);
    --active_;
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return true;
}

void BoundedServer::serveConnection(socket_t sock)
{
    Connection connection(sock, limits_, stopping_);
    const int maxRequests = 100;  // on one connection
    for (int n = 0; n < maxRequests && !stopping_.load(); ++n) {
        const Read read = connection.next(n == 0 ? limits_.headSeconds : limits_.idleSeconds);
        if (read.kind == Read::Gone)
            return;
        if (read.kind == Read::Refusal) {
            refuse(sock, read.status, read.message, limits_.writeSeconds, stopping_);
            return;
        }
        RequestStream stream(sock, read.bytes, limits_.writeSeconds, stopping_);
        bool closed = false;
        process_request(stream, n + 1 == maxRequests || stopping_.load(), closed, [](httplib::Request&) {});
        if (closed)
            return;
    }
}

}  // namespace lookdev
}  // namespace cwtool
