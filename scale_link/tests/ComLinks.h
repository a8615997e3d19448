// COM1..COM4 pointed at links in a folder of the test's own, so that a port
// "exists" while a simulated line is plugged in behind its link.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace trutina::testing {

inline std::string comLink(const std::filesystem::path &folder, int port)
{
    return (folder / ("com" + std::to_string(port))).string();
}

// Makes the folder and points TRUTINA_COM1..4 into it; call before the
// library's worker runs, since the worker reads the environment.
inline std::filesystem::path pointPortsIntoFolder(const std::string &prefix)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / (prefix + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    for (int port = 1; port <= 4; ++port)
        ::setenv(("TRUTINA_COM" + std::to_string(port)).c_str(), comLink(folder, port).c_str(), 1);
    return folder;
}

} // namespace trutina::testing
