// Loads the library, lets its worker wait for a reply on COM2 and returns
// from main without unloading it: the process must end cleanly and at once.
#include "TrutinaClient.h"

#include <dlfcn.h>

#include <chrono>
#include <thread>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    void *library = ::dlopen(argv[1], RTLD_NOW);
    if (!library)
        return 3;
    auto setComPort = reinterpret_cast<TrutinaSetComPortFn>(::dlsym(library, "SetComPort"));
    auto freshData = reinterpret_cast<TrutinaFreshDataFn>(::dlsym(library, "FreshData"));
    if (!setComPort || !freshData || !setComPort(2))
        return 4;
    trutina::Block block;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        freshData(block.data());
    } while (block.linkState() != TRUTINA_LINK_INITIALISING && std::chrono::steady_clock::now() < deadline);
    return block.linkState() == TRUTINA_LINK_INITIALISING ? 0 : 5;
}
