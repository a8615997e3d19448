// Shows what the scale link library reads from a balance line, live in the
// terminal: link state, port, and for every balance its model code,
// identification number, reading count and weight.
//
//   line_monitor [--library PATH] [--port 0..4] [--seconds N]
#include "trutina.h"

#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

const char *unitText(int32_t code)
{
    static const char *const units[] = {"g", "ct", "%", "pc", "mg", "kg", "o", "ot"};
    return code >= TRUTINA_UNIT_FIRST && code <= TRUTINA_UNIT_LAST ? units[code - TRUTINA_UNIT_FIRST] : "";
}

const char *stateText(int32_t state)
{
    switch (state) {
    case TRUTINA_LINK_SETTING_UP: return "setting up the port";
    case TRUTINA_LINK_INITIALISING: return "counting and identifying";
    case TRUTINA_LINK_ONLINE: return "on line";
    default: return "?";
    }
}

std::string defaultLibraryPath(const char *argv0)
{
    std::string path = argv0;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "libtrutina.so" : path.substr(0, slash + 1) + "libtrutina.so";
}

void printBlock(const int32_t *block, bool redraw)
{
    if (redraw)
        std::printf("\033[H\033[J");
    std::printf("link: %s (%d)   port: COM%d   balances: %d\n\n", stateText(block[TRUTINA_WORD_LINK_STATE]),
                block[TRUTINA_WORD_LINK_STATE], block[TRUTINA_WORD_CURRENT_PORT],
                block[TRUTINA_WORD_BALANCE_COUNT]);
    std::printf(" pos  model  ident      readings  weight\n");
    const int count = block[TRUTINA_WORD_BALANCE_COUNT];
    for (int p = 1; p <= count && p <= TRUTINA_MAX_BALANCES; ++p) {
        const auto at = [&](TrutinaTable table) { return block[TRUTINA_WORD(table, p)]; };
        const int32_t divisor = at(TRUTINA_TABLE_DIVISOR);
        const int decimals = static_cast<int>(std::lround(std::log10(divisor > 0 ? divisor : 1)));
        std::printf(" %3d  %5d  %-9d  %8d  %.*f %s%s\n", p, at(TRUTINA_TABLE_MODEL_CODE),
                    at(TRUTINA_TABLE_IDENT_NUMBER), at(TRUTINA_TABLE_READING_COUNT), decimals,
                    double(at(TRUTINA_TABLE_RAW_VALUE)) / divisor, unitText(at(TRUTINA_TABLE_UNIT_CODE)),
                    at(TRUTINA_TABLE_STABLE_FLAG) ? "" : "  (settling)");
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    std::string library = defaultLibraryPath(argv[0]);
    int port = 1;
    double seconds = 0; // until interrupted
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--library" && i + 1 < argc)
            library = argv[++i];
        else if (arg == "--port" && i + 1 < argc)
            port = std::atoi(argv[++i]);
        else if (arg == "--seconds" && i + 1 < argc)
            seconds = std::atof(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--library PATH] [--port 0..4 (0 searches)] [--seconds N]\n", argv[0]);
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }
    void *handle = ::dlopen(library.c_str(), RTLD_NOW);
    if (!handle) {
        std::fprintf(stderr, "line_monitor: %s\n", ::dlerror());
        return 1;
    }
    auto setComPort = reinterpret_cast<TrutinaSetComPortFn>(::dlsym(handle, "SetComPort"));
    auto freshData = reinterpret_cast<TrutinaFreshDataFn>(::dlsym(handle, "FreshData"));
    if (!setComPort || !freshData) {
        std::fprintf(stderr, "line_monitor: %s lacks SetComPort or FreshData\n", library.c_str());
        return 1;
    }
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    std::signal(SIGTERM, [](int) { stopRequested = 1; });

    setComPort(port);
    const bool redraw = ::isatty(STDOUT_FILENO);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int32_t block[TRUTINA_BLOCK_WORDS];
    while (!stopRequested && (seconds <= 0 || std::chrono::steady_clock::now() < end)) {
        freshData(block);
        printBlock(block, redraw);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ::dlclose(handle);
    return 0;
}
