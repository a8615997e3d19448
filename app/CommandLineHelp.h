// The program's answers to --help and --version, given before the window
// system is reached so that they work without a display.
#pragma once

#include <optional>

// Prints the help or the version when one of them is asked for and returns
// the exit code; returns nothing when the program should start its window.
std::optional<int> answerHelpOrVersion(int argc, char *argv[]);
