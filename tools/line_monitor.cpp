// Shows what the scale link library reads from a balance line, live in the
// terminal: link state, port, and for every balance its model code,
// identification number, reading count and weight.
//
//   line_monitor [--library PATH] [--port 0..4] [--seconds N]
#include "TrutinaClient.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

std::string defaultLibraryPath(const char *argv0)
{
    std::string path = argv0;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "libtrutina.so" : path.substr(0, slash + 1) + "libtrutina.so";
}

void printBlock(const trutina::Block &block, bool redraw)
{
    if (redraw)
        std::printf("\033[H\033[J");
    std::printf("link: %s (%d)   port: COM%d   balances: %d\n\n", trutina::linkStateName(block.linkState()),
                block.linkState(), block.currentPort(), block.balanceCount());
    std::printf(" pos  model  ident      readings  weight\n");
    for (int p = 1; p <= block.balanceCount() && p <= TRUTINA_MAX_BALANCES; ++p) {
        const int32_t divisor = block.divisor(p);
        const int decimals = static_cast<int>(std::lround(std::log10(divisor > 0 ? divisor : 1)));
        std::printf(" %3d  %5d  %-9d  %8d  %.*f %s%s\n", p, block.modelCode(p), block.identNumber(p),
                    block.readingCount(p), decimals, block.weight(p), block.unit(p),
                    block.stable(p) ? "" : "  (settling)");
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
    const trutina::Library link(library);
    if (!link.exports().complete()) {
        std::fprintf(stderr, "line_monitor: %s\n", link.error().c_str());
        return 1;
    }
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    std::signal(SIGTERM, [](int) { stopRequested = 1; });

    link.setComPort(port);
    const bool redraw = ::isatty(STDOUT_FILENO);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    trutina::Block block;
    while (!stopRequested && (seconds <= 0 || std::chrono::steady_clock::now() < end)) {
        link.freshData(block);
        printBlock(block, redraw);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return 0;
}
