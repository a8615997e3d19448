// The devices the program assigned to COM1..COM4.
#include "PortDevices.h"

namespace trutina {

bool PortDevices::assign(int port, const char *path)
{
    if (port < 1 || port > ports)
        return false;
    std::string device = path ? path : "";
    std::lock_guard lock(mutex_);
    devices_[size_t(port - 1)].swap(device);
    return true;
}

std::string PortDevices::deviceFor(int port) const
{
    if (port < 1 || port > ports)
        return {};
    std::lock_guard lock(mutex_);
    return devices_[size_t(port - 1)];
}

PortDevices &portDevices()
{
    static PortDevices devices;
    return devices;
}

} // namespace trutina
