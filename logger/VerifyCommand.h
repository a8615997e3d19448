// pondus-log --verify: the journal's hash chain walked and told on the
// terminal, with an exit status a script can act on.
#pragma once

#include <string>

namespace pondus::logger {

// Prints the runs and "intact: N events, head H" and returns 0, or names
// the first event that does not match on standard error and returns 5.
int verifyJournal(const std::string &path);

} // namespace pondus::logger
