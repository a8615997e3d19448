#include "publish/MqttSettings.h"

#include <unistd.h>

#include <algorithm>
#include <array>

std::string localPcName()
{
    std::array<char, 256> name{};
    if (gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0')
        return "pc";
    std::string pc = name.data();
    // Topic levels must not hold the wildcard or separator characters.
    pc = pc.substr(0, pc.find('.'));
    std::replace_if(pc.begin(), pc.end(), [](char c) { return c == '/' || c == '+' || c == '#'; }, '_');
    return pc;
}
