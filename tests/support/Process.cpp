#include "support/Process.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef CORVANE_EXE
#define CORVANE_EXE "corvane"
#endif

namespace corvane::test {

namespace {

// Starts corvane with its output on two pipes; -1 when it could not be started.
pid_t Spawn(const std::string& exe, const std::vector<std::string>& args,
            const std::vector<std::pair<std::string, std::string>>& env, int out[2], int err[2]) {
    if (pipe(out) != 0 || pipe(err) != 0) return -1;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        int devnull = open("/dev/null", 0);
        dup2(devnull, 0);
        for (const auto& [k, v] : env) {
            if (v.empty())
                unsetenv(k.c_str());
            else
                setenv(k.c_str(), v.c_str(), 1);
        }
        std::vector<char*> argv;
        std::string name = exe;
        argv.push_back(name.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    return pid;
}

ProcessResult Collect(pid_t pid, int outFd, int errFd) {
    ProcessResult r;
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open_fds = 2;
    char buf[8192];
    while (open_fds > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            } else {
                (i == 0 ? r.Out : r.Err).append(buf, static_cast<size_t>(n));
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace

std::string CorvaneExecutable() { return CORVANE_EXE; }

ProcessResult RunCorvane(const std::vector<std::string>& args,
                         const std::vector<std::pair<std::string, std::string>>& env) {
    return RunCorvaneFrom(CORVANE_EXE, args, env);
}

ProcessResult RunCorvaneFrom(const std::string& exe, const std::vector<std::string>& args,
                             const std::vector<std::pair<std::string, std::string>>& env) {
    int out[2], err[2];
    pid_t pid = Spawn(exe, args, env, out, err);
    if (pid < 0) return {};
    return Collect(pid, out[0], err[0]);
}

std::string CopyOfCorvane(const std::string& folder) {
    const std::string copy = folder + "/corvane";
    std::ifstream in(CORVANE_EXE, std::ios::binary);
    std::ofstream out(copy, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    out.close();
    chmod(copy.c_str(), 0755);
    return copy;
}

RunningCorvane::RunningCorvane(const std::vector<std::string>& args,
                               const std::vector<std::pair<std::string, std::string>>& env) {
    int out[2], err[2];
    pid_ = Spawn(CORVANE_EXE, args, env, out, err);
    if (pid_ >= 0) out_ = out[0], err_ = err[0];
}

RunningCorvane::~RunningCorvane() {
    if (pid_ < 0) return;
    kill(pid_, SIGKILL);
    Collect(pid_, out_, err_);
}

void RunningCorvane::Signal(int signal) {
    if (pid_ >= 0) kill(pid_, signal);
}

ProcessResult RunningCorvane::Wait() {
    if (pid_ < 0) return {};
    ProcessResult r = Collect(pid_, out_, err_);
    pid_ = -1;
    return r;
}

} // namespace corvane::test
