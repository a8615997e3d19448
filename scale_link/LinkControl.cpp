#include "LinkControl.h"

namespace trutina {

void LinkControl::request(int port)
{
    uint64_t seen = word_.load();
    LinkStatus next;
    do {
        next = LinkStatus{unpack(seen).generation + 1, LinkPhase::PortSearch,
                          static_cast<uint8_t>(port >= 1 && port <= 4 ? port : 0), 0};
    } while (!word_.compare_exchange_weak(seen, pack(next)));
}

bool LinkControl::advance(const LinkStatus &seen, const LinkStatus &next)
{
    uint64_t expected = pack(seen);
    return word_.compare_exchange_strong(expected, pack(next));
}

uint64_t LinkControl::pack(const LinkStatus &status)
{
    return uint64_t(status.generation) << 32 | uint64_t(status.phase) << 16 |
           uint64_t(status.requestedPort) << 8 | uint64_t(status.currentPort);
}

LinkStatus LinkControl::unpack(uint64_t word)
{
    return {static_cast<uint32_t>(word >> 32), static_cast<LinkPhase>((word >> 16) & 0xFF),
            static_cast<uint8_t>((word >> 8) & 0xFF), static_cast<uint8_t>(word & 0xFF)};
}

} // namespace trutina
