#include "Frames.h"

#include "trutina.h"

namespace trutina {

Frame makeRequest(Command command, int position)
{
    return {'S', 'i', 'm', 'p', 'l', 'e', static_cast<uint8_t>(command), static_cast<uint8_t>(position)};
}

bool isValidReply(const Frame &reply, int expectedPosition)
{
    for (int first = 0; first < 3; ++first) {
        uint8_t sum = 0;
        for (int i = first; i < first + 5; ++i)
            sum = static_cast<uint8_t>(sum + reply[i]);
        if (sum != 0)
            return false;
    }
    return reply[7] == expectedPosition;
}

int32_t kindFromIdentifyReply(const Frame &reply)
{
    if (reply[4] != 'q')
        return TRUTINA_MODEL_UNKNOWN;
    if (reply[3] == 'S')
        return TRUTINA_KIND_1;
    if (reply[3] == 'H')
        return TRUTINA_KIND_2;
    return TRUTINA_MODEL_UNKNOWN;
}

int32_t modelCodeFor(int32_t kind, uint8_t status)
{
    // Kind 1 models by the low nibble; nibbles 6, 7, 14 and 15 name none.
    static constexpr std::array<int32_t, 16> kind1Models = {
        300, 301, 302, 303, 304, 305, 100, 100, 306, 307, 308, 309, 310, 311, 100, 100};
    if (kind == TRUTINA_KIND_1)
        return kind1Models[status & 0x0F];
    if (kind == TRUTINA_KIND_2) {
        const int model = status & 0x07;
        return model <= 4 ? TRUTINA_MODEL_KIND2_FIRST + model : TRUTINA_MODEL_UNKNOWN;
    }
    return TRUTINA_MODEL_UNKNOWN;
}

int32_t unsigned24(const Frame &reply)
{
    return (int32_t(reply[4]) << 16) | (int32_t(reply[5]) << 8) | int32_t(reply[6]);
}

WeightReading decodeWeight(const Frame &reply)
{
    const uint8_t status = reply[3];
    const int decimals = status & 0x07;
    int32_t divisor = 1;
    if (decimals <= 6)
        for (int i = decimals; i < 6; ++i)
            divisor *= 10;
    int32_t raw = unsigned24(reply);
    if (reply[4] >= 0x80)
        raw -= 1 << 24;
    return {status >> 7, TRUTINA_UNIT_FIRST + ((status >> 4) & 0x07), divisor, raw};
}

} // namespace trutina
