// A scale link library that lacks one of its two functions, as a wrong or
// half-built file under the library's name would. Built once with each.
#include <cstdint>

#ifdef WITH_SET_COM_PORT
extern "C" int32_t SetComPort(int32_t)
{
    return 1;
}
#endif

#ifdef WITH_FRESH_DATA
extern "C" int32_t FreshData(int32_t *block)
{
    return block != nullptr ? 1 : 0;
}
#endif
