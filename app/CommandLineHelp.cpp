#include "CommandLineHelp.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr const char *usage =
    "Usage: pondus [Qt options]\n"
    "Records the weights of up to ten balances chained on one serial line in a\n"
    "table and a line chart, and saves the measurements to a file.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -v, --version  show the version and exit\n"
    "\n"
    "The options of every Qt program (-platform, -style, ...) are accepted too.\n"
    "\n"
    "Environment:\n"
    "  TRUTINA_COMn   the device of port COMn, n from 1 to 4 (default /dev/ttyS0\n"
    "                 to /dev/ttyS3), e.g. TRUTINA_COM1=/dev/ttyUSB0\n";

} // namespace

std::optional<int> answerHelpOrVersion(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (argument == "-v" || argument == "--version") {
            std::printf("pondus %s\n", PONDUS_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}
