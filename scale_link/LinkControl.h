// The worker's state and the port request, packed into one atomic word so
// that a port change from the caller and a state change from the worker can
// never overwrite each other: every change by the worker is a compare and
// exchange against the snapshot it worked from, and every port request
// bumps the generation, which makes such an exchange fail.
#pragma once

#include <atomic>
#include <cstdint>

namespace trutina {

enum class LinkPhase : uint8_t { PortSearch = 0, LineSetup = 1, Polling = 2 };

struct LinkStatus {
    uint32_t generation = 0;
    LinkPhase phase = LinkPhase::PortSearch;
    uint8_t requestedPort = 0; // 1..4, or 0 for the automatic search
    uint8_t currentPort = 0;   // 1..4 being tried or in use, 0 right after a request

    // The port the search tries next: the requested one, or the next of the
    // cycle 1, 2, 3, 4, 1, ... in the automatic search.
    uint8_t nextPortToTry() const { return requestedPort != 0 ? requestedPort : currentPort % 4 + 1; }
};

class LinkControl {
public:
    LinkStatus load() const { return unpack(word_.load()); }

    // A new port request (0 = automatic): starts the port search over.
    void request(int port);

    // Moves from `seen` to `next` unless the status changed in between.
    bool advance(const LinkStatus &seen, const LinkStatus &next);

private:
    static uint64_t pack(const LinkStatus &status);
    static LinkStatus unpack(uint64_t word);

    std::atomic<uint64_t> word_{0};
};

} // namespace trutina
