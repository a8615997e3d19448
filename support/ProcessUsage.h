// What this process costs: resident memory and CPU time so far.
#pragma once

#include <fstream>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

inline long residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// User and system time of all threads, in seconds.
inline double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The most resident memory since the start or the last resetPeakResident().
inline long peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string field;
    while (status >> field) {
        if (field == "VmHWM:") {
            long kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
    }
    return 0;
}

// Starts a new peak at the present resident memory.
inline void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}
