// The library's optional third export: the program passes the device it
// assigned to a port, so that no environment variable has to change while the
// worker may be reading the environment. Callers look it up by name and do
// without it when an older library lacks it.
#include "PortDevices.h"
#include "trutina.h"

extern "C" int32_t SetPortDevice(int32_t port, const char *path)
{
    try {
        return trutina::portDevices().assign(port, path) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
