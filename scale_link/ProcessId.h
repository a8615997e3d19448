// The id of the running process, which tells a forked child from the
// process that loaded the library.
#pragma once

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace trutina {

#ifdef _WIN32
inline long currentProcessId() { return ::_getpid(); }
#else
inline long currentProcessId() { return ::getpid(); }
#endif

} // namespace trutina
