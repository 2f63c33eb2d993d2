// `coolwarm serve` run as a child process on a free port, for the API and
// browser tests.
#ifndef COOLWARM_TESTS_SERVERPROCESS_H
#define COOLWARM_TESTS_SERVERPROCESS_H

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

class ServerProcess {
public:
    // Starts the server with `arguments` after `serve --port 0` and waits for
    // the URL it prints.
    explicit ServerProcess(const std::vector<std::string>& arguments = {})
    {
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe failed");
        pid_ = fork();
        if (pid_ == 0) {
#ifdef __SANITIZE_THREAD__
            // The server's threads run inside cpp-httplib, Embree and oneTBB,
            // none of them built with the thread sanitizer; what it reports
            // from there is printed but does not count as a failed exit.
            std::string options = std::getenv("TSAN_OPTIONS") ? std::getenv("TSAN_OPTIONS") : "";
            setenv("TSAN_OPTIONS", (options + " exitcode=0").c_str(), 1);
#endif
            dup2(out[1], STDOUT_FILENO);
            close(out[0]);
            close(out[1]);
            std::vector<std::string> words{std::string(COOLWARM_BUILD_DIR) + "/bin/coolwarm", "serve", "--port", "0"};
            words.insert(words.end(), arguments.begin(), arguments.end());
            std::vector<char*> argv;
            for (std::string& w : words)
                argv.push_back(&w[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        stdout_ = fdopen(out[0], "r");
        char line[512];
        if (!std::fgets(line, sizeof line, stdout_))
            throw std::runtime_error("coolwarm serve printed no URL");
        const std::string text(line);
        const std::size_t at = text.find("http://");
        const std::size_t colon = text.find(':', at + 7);
        if (at == std::string::npos || colon == std::string::npos)
            throw std::runtime_error("coolwarm serve printed no URL: " + text);
        host_ = text.substr(at + 7, colon - at - 7);
        port_ = std::stoi(text.substr(colon + 1));
    }

    // A server that ends badly on Ctrl-C (a crash, or a sanitizer's report at
    // exit) fails the test that started it.
    ~ServerProcess()
    {
        if (pid_ > 0) {
            const int status = stop();
            EXPECT_EQ(status, 0) << "coolwarm serve did not end cleanly on Ctrl-C";
        }
        if (stdout_)
            std::fclose(stdout_);
    }

    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    const std::string& host() const { return host_; }
    int port() const { return port_; }
    std::string url() const { return "http://" + host_ + ":" + std::to_string(port_) + "/"; }

    // Interrupts the server as Ctrl-C does; returns its exit status (-1 when a
    // signal ended it).
    int stop(int signal = SIGINT)
    {
        kill(pid_, signal);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    std::FILE* stdout_ = nullptr;
    std::string host_;
    int port_ = 0;
};

#endif
