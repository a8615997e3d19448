#include "SimulatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace pondus::sim {

namespace {

using SteadyClock = std::chrono::steady_clock;

int millisecondsLeft(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::max<long long>(left.count(), 0));
}

}  // namespace

SimulatorProcess::SimulatorProcess(const std::string& program, const std::vector<std::string>& args, Timeout timeout)
{
    std::array<int, 2> pipe{};
    if (::pipe2(pipe.data(), O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    const int error = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    output_ = pipe[0];
    if (error != 0) {
        pid_ = -1;
        ::close(output_);
        throw std::system_error(error, std::generic_category(), "cannot start " + program);
    }
    try {
        path_ = readLine(timeout);
    } catch (...) {
        end();
        throw;
    }
}

SimulatorProcess::~SimulatorProcess()
{
    end();
}

void SimulatorProcess::end()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        // Wait for the exit on a process descriptor, bounded; then force it.
        const int exited = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
        bool ended = false;
        if (exited >= 0) {
            pollfd fd{exited, POLLIN, 0};
            ended = ::poll(&fd, 1, 3000) == 1;
            ::close(exited);
        }
        if (!ended) {
            ::kill(pid_, SIGKILL);
        }
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (output_ >= 0) {
        ::close(output_);
        output_ = -1;
    }
}

std::string SimulatorProcess::readLine(Timeout timeout)
{
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        if (const auto newline = buffered_.find('\n'); newline != std::string::npos) {
            std::string line = buffered_.substr(0, newline);
            buffered_.erase(0, newline + 1);
            return line;
        }
        pollfd fd{output_, POLLIN, 0};
        if (::poll(&fd, 1, millisecondsLeft(deadline)) != 1) {
            throw std::runtime_error("balance-sim printed no line in time");
        }
        std::array<char, 256> chunk{};
        const ssize_t got = ::read(output_, chunk.data(), chunk.size());
        if (got <= 0) {
            throw std::runtime_error("balance-sim ended its output");
        }
        buffered_.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

void SimulatorProcess::unplug(Timeout timeout)
{
    ::kill(pid_, SIGUSR1);
    if (const auto line = readLine(timeout); line != "unplugged") {
        throw std::runtime_error("balance-sim answered '" + line + "' to an unplug");
    }
}

void SimulatorProcess::strayMidFrame(Timeout timeout)
{
    ::kill(pid_, SIGURG);
    if (const auto line = readLine(timeout); line != "stray byte armed") {
        throw std::runtime_error("balance-sim answered '" + line + "' to a stray byte");
    }
}

void SimulatorProcess::replug(Timeout timeout)
{
    ::kill(pid_, SIGUSR2);
    const std::string prefix = "replugged ";
    const auto line = readLine(timeout);
    if (line.rfind(prefix, 0) != 0) {
        throw std::runtime_error("balance-sim answered '" + line + "' to a replug");
    }
    path_ = line.substr(prefix.size());
}

}  // namespace pondus::sim
