// The wall clock with the time zone's offset, from the C library.
#include "journal/Stamp.h"

#include <chrono>
#include <ctime>

namespace pondus::journal {

Stamp Stamp::now()
{
    using namespace std::chrono;
    const int64_t ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const std::time_t seconds = std::time_t(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    return {ms, int32_t(local.tm_gmtoff)};
}

} // namespace pondus::journal
