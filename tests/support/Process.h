// Child processes for end-to-end tests: run a program with arguments and environment, feed its
// standard input, collect its output, and never wait for it longer than a deadline.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace prax::testing {

struct ProcessResult {
    int exitCode = -1;  // -1: killed at the deadline or by a signal
    std::string out;
    std::string err;
    bool timedOut = false;
};

inline void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// In the child after fork: set the environment (an empty value removes the variable) and run
// the program; never returns.
[[noreturn]] inline void ExecChild(const std::vector<std::string>& argv,
                                   const std::map<std::string, std::string>& env) {
    for (const auto& [k, v] : env) {
        if (v.empty()) unsetenv(k.c_str());
        else setenv(k.c_str(), v.c_str(), 1);
    }
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

// A running child whose standard output is read line by line (the virtual printer).
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env = {}) {
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], STDOUT_FILENO);
            dup2(out[1], STDERR_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ExecChild(argv, env);
        }
        ::close(out[1]);
        fd_ = out[0];
        SetNonBlocking(fd_);
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) ::close(fd_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The next whole line, or "" at the deadline or end of output.
    std::string NextLine(int timeoutMs = 10000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (auto nl = buffer_.find('\n'); nl != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                seen_.push_back(line);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return {};
            struct pollfd p {fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n == 0) return {};
            if (n > 0) buffer_.append(buf, static_cast<std::size_t>(n));
        }
    }
    // Lines until one starts with `prefix`; that line, or "" at the deadline.
    std::string LineStartingWith(const std::string& prefix, int timeoutMs = 10000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            std::string line = NextLine(static_cast<int>(left));
            if (line.rfind(prefix, 0) == 0) return line;
            if (line.empty() && std::chrono::steady_clock::now() >= deadline) break;
        }
        return {};
    }
    const std::vector<std::string>& seen() const { return seen_; }
    pid_t pid() const { return pid_; }
    // Waits until the child has ended, reading what it still prints; its exit code, 128 + the
    // signal that killed it, or -1 when it still runs at the deadline.
    int Wait(int timeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                char buf[4096];
                ssize_t n;
                while ((n = ::read(fd_, buf, sizeof buf)) > 0) buffer_.append(buf, static_cast<std::size_t>(n));
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() >= deadline) return -1;
            struct pollfd p {fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buf[4096];
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n > 0) buffer_.append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    // Everything printed and not yet taken as a line.
    const std::string& rest() const { return buffer_; }

private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string buffer_;
    std::vector<std::string> seen_;
};

// Runs a program to its end (or kills it at the deadline), with `input` on its standard input.
inline ProcessResult RunProgram(const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env = {},
                         const std::string& input = {}, int timeoutMs = 60000) {
    ProcessResult r;
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return r;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
        ExecChild(argv, env);
    }
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    signal(SIGPIPE, SIG_IGN);
    if (!input.empty()) {
        const ssize_t n = ::write(in[1], input.data(), input.size());
        (void)n;
    }
    ::close(in[1]);
    SetNonBlocking(out[0]);
    SetNonBlocking(err[0]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool outOpen = true, errOpen = true;
    while (outOpen || errOpen) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            r.timedOut = true;
            kill(pid, SIGKILL);
            break;
        }
        struct pollfd p[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
        if (::poll(p, 2, static_cast<int>(left)) <= 0) continue;
        char buf[65536];
        for (int i = 0; i < 2; ++i) {
            if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = ::read(p[i].fd, buf, sizeof buf);
            if (n > 0) (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            else if (n == 0) (i == 0 ? outOpen : errOpen) = false;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ::close(out[0]);
    ::close(err[0]);
    if (!r.timedOut && WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    return r;
}

}  // namespace prax::testing
