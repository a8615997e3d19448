// Why pondus-log ended, as its exit status.
#pragma once

namespace pondus::logger {

enum ExitCode : int {
    done = 0,           // the count or duration was reached, or SIGINT/SIGTERM stopped it
    failure = 1,        // the library, the output file or a write failed
    badArguments = 2,   // a choice on the command line or in the settings is wrong
    linkLost = 3,       // the line was off line for longer than --link-timeout
    balanceMissing = 4, // a chosen balance is not on the line
    chainBroken = 5,    // --verify: the journal's chain does not match (or the file cannot be read)
    noSuchRun = 6,      // --report: the journal holds no such run
};

} // namespace pondus::logger
