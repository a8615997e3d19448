// A shared library that is not the scale link library: it lacks both of its
// functions, as a wrong file under the library's name would.
#include <cstdint>

extern "C" int32_t OtherFunction()
{
    return 1;
}
