// Puts a simulated Line behind a pseudo-terminal, so that a program opens it
// like a serial port. A thread of its own reads every byte the program writes
// and writes back the line's answer when it is due.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <thread>

#include "balance_sim/line.h"

namespace pondus::sim {

struct PtyOptions {
    // When set, this path is made a symbolic link to the terminal device
    // (an existing symbolic link there is replaced) and removed again on
    // unplug and destruction.
    std::string linkPath;
    // Time from a byte's arrival to its answer; 0 answers at once.
    // byteRoundTripSeconds() gives the figure for a real line.
    std::chrono::nanoseconds byteTime{0};
    // Bytes nobody asked for, sent to the program at this average rate.
    double strayBytesPerSecond = 0;
    std::uint64_t seed = 1;  // for the stray bytes
    // A USB adapter's latency timer: an answer due while none is held back
    // starts the timer, and everything due by then goes out when it runs
    // out. 0 hands every answer on at once.
    std::chrono::nanoseconds latencyTimer{0};
};

// The stray byte that strayMidFrame() puts on the line.
inline constexpr std::uint8_t kStrayByte = 0x5A;

// How long a line at `baud` takes to return one byte through `balances`
// balances: one character time (10 bits, 8N1) for each of the N + 1 hops.
double byteRoundTripSeconds(int balances, int baud);

// unplug(), replug() and inject() belong to one controlling thread.
class PtyLine {
public:
    // The line must outlive this object. Throws std::system_error when the
    // terminal or the link cannot be made.
    explicit PtyLine(Line& line, PtyOptions options = {});
    ~PtyLine();

    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // The terminal device, such as /dev/pts/4; empty while unplugged.
    const std::string& devicePath() const { return devicePath_; }
    // The symbolic link, or empty.
    const std::string& linkPath() const { return options_.linkPath; }
    // What a program should open: the link when there is one, else the device.
    const std::string& path() const { return linkPath().empty() ? devicePath_ : linkPath(); }

    // Pulls the adapter out: the terminal is closed, so a program that has it
    // open sees a hang-up, and the link goes away. Idempotent.
    void unplug();
    // Plugs in again as a new terminal (unplugging first if needed); the
    // link, if any, points at the new one. Throws like the constructor.
    void replug();
    bool plugged() const { return master_ >= 0; }

    // Writes bytes to the program unasked, as noise or a late answer would.
    void inject(std::span<const std::uint8_t> bytes);
    // One byte of noise in the middle of the next frame: kStrayByte comes
    // right after the answer to the frame's third byte. Any thread.
    void strayMidFrame() { strayPending_.store(true); }

private:
    void open();
    void run();
    void writeByte(std::uint8_t byte);

    Line& line_;
    PtyOptions options_;
    std::string devicePath_;
    int master_ = -1;
    int slave_ = -1;  // kept open so the terminal lives while programs reopen it
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> strayPending_{false};
    std::thread thread_;
};

}  // namespace pondus::sim
