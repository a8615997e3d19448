// Runs the balance-sim program for a test: starts it, waits for the path of
// its terminal, unplugs and replugs it on request, and ends it on destruction.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace pondus::sim {

class SimulatorProcess {
public:
    using Timeout = std::chrono::milliseconds;

    // Starts `program` with `args` and waits for the first line it prints;
    // throws std::runtime_error when that does not come within the timeout.
    SimulatorProcess(const std::string& program, const std::vector<std::string>& args,
                     Timeout timeout = Timeout{5000});
    // Sends SIGTERM and reaps the program; SIGKILL if it has not ended soon.
    ~SimulatorProcess();

    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // The terminal the simulator plays the line on.
    const std::string& path() const { return path_; }

    // Closes the terminal (a client sees a hang-up) and waits for the
    // acknowledgement; throws std::runtime_error on timeout.
    void unplug(Timeout timeout = Timeout{5000});
    // A new terminal; path() changes to it.
    void replug(Timeout timeout = Timeout{5000});
    // One byte of noise in the middle of the next frame; returns when the
    // simulator has armed it.
    void strayMidFrame(Timeout timeout = Timeout{5000});

private:
    std::string readLine(Timeout timeout);
    void end();

    pid_t pid_ = -1;
    int output_ = -1;  // the read end of the program's standard output
    std::string buffered_;
    std::string path_;
};

}  // namespace pondus::sim
