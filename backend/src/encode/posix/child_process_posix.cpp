#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "encode/child_process.h"
#include "encode/command_line.h"

extern char** environ;

namespace tsl::encode {
namespace {

// The pipe is a socket pair so that writing to an encoder that has exited
// fails with EPIPE (MSG_NOSIGNAL) instead of raising SIGPIPE in the host.
class PosixChild final : public ChildProcess {
public:
    PosixChild(pid_t pid, int fd) : pid_(pid), fd_(fd) {}
    ~PosixChild() override { CloseAndWait(5000); }

    bool WriteAll(const void* data, size_t bytes) override {
        const char* p = static_cast<const char*>(data);
        while (bytes) {
            if (fd_ < 0) return false;
            const ssize_t n = send(fd_, p, bytes, MSG_NOSIGNAL);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            p += n;
            bytes -= size_t(n);
        }
        return true;
    }

    bool Exited() const override {
        std::lock_guard<std::mutex> g(lock_);
        return ReapLocked(false);
    }

    void CloseAndWait(unsigned timeoutMs) override {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
        std::lock_guard<std::mutex> g(lock_);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!ReapLocked(false)) {
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(pid_, SIGKILL);
                ReapLocked(true);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

private:
    bool ReapLocked(bool block) const {
        if (reaped_) return true;
        int status;
        pid_t r;
        do {
            r = waitpid(pid_, &status, block ? 0 : WNOHANG);
        } while (r < 0 && errno == EINTR);
        if (r == pid_ || (r < 0 && errno == ECHILD)) reaped_ = true;
        return reaped_;
    }

    const pid_t pid_;
    int fd_;
    mutable std::mutex lock_;
    mutable bool reaped_ = false;
};

} // namespace

std::unique_ptr<ChildProcess> ChildProcess::Start(const std::string& command) {
    std::vector<std::string> words = SplitCommandLine(command);
    if (words.empty()) return nullptr;
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return nullptr;
    shutdown(sv[0], SHUT_RD);
    shutdown(sv[1], SHUT_WR);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(sv[1]);
    if (rc != 0) {
        close(sv[0]);
        return nullptr;
    }
    return std::make_unique<PosixChild>(pid, sv[0]);
}

} // namespace tsl::encode
