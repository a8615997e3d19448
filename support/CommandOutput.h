// What a shell command prints on its standard output: how tests ask readers
// independent of the program (openpyxl, pdftotext, sha256sum).
#pragma once

#include <cstdio>
#include <string>

inline std::string commandOutput(const std::string &command)
{
    std::string text;
    if (std::FILE *reader = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, reader)) > 0;)
            text.append(buffer, n);
        ::pclose(reader);
    }
    return text;
}
