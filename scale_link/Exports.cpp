// The library's two exported functions. The worker object lives as long as
// the library: it is created when the library is loaded, and unloading the
// library (where the platform unloads it) or ending the process stops its
// thread and closes the port.
// Which symbols leave the library is fixed at link time (trutina.map for the
// shared object, trutina.def for the DLL).
#include "ScaleReader.h"
#include "trutina.h"

#define TRUTINA_EXPORT extern "C"

namespace {

trutina::ScaleReader reader(trutina::makePlatformSerialDevice());

} // namespace

TRUTINA_EXPORT int32_t SetComPort(int32_t port)
{
    try {
        return reader.setComPort(port) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

TRUTINA_EXPORT int32_t FreshData(int32_t *block)
{
    if (!block)
        return 0;
    try {
        reader.freshData(block);
        return 1;
    } catch (...) {
        return 0;
    }
}
