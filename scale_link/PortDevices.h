// The devices the program assigned to COM1..COM4. The worker consults them
// at each open, after the environment variables TRUTINA_COM1..4; the caller's
// thread changes them at any time, so they are kept under a lock of their own.
#pragma once

#include <array>
#include <mutex>
#include <string>

namespace trutina {

class PortDevices {
public:
    static constexpr int ports = 4;

    // Assigns a device path to port 1..4; an empty path or none removes the
    // assignment. False for a port out of range.
    bool assign(int port, const char *path);
    // The assigned path, empty when there is none.
    std::string deviceFor(int port) const;

private:
    mutable std::mutex mutex_;
    std::array<std::string, ports> devices_; // guarded by mutex_
};

// The library's one set of assignments.
PortDevices &portDevices();

} // namespace trutina
