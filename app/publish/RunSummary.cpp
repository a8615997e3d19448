#include "publish/RunSummary.h"

#include <bit>

namespace {

// Eleven numbers a slot, each as 8 bytes, least significant first, so that
// a file moved to another machine reads the same.
constexpr size_t slotFields = 11;
constexpr size_t slotSize = slotFields * 8;

void put(std::string &bytes, uint64_t word)
{
    for (int i = 0; i < 8; ++i)
        bytes += char(uint8_t(word >> (8 * i)));
}

uint64_t wordAt(std::string_view bytes, size_t at)
{
    uint64_t word = 0;
    for (int i = 0; i < 8; ++i)
        word |= uint64_t(uint8_t(bytes[at + size_t(i)])) << (8 * i);
    return word;
}

} // namespace

double weightOf(const BalanceReading &reading)
{
    return double(reading.rawValue) / (reading.divisor == 0 ? 1 : reading.divisor);
}

void BucketSummary::take(int64_t seq, int64_t utcMs, const std::vector<BalanceReading> &readings)
{
    ++rows;
    if (slots.size() < readings.size())
        slots.resize(readings.size());
    for (size_t i = 0; i < readings.size(); ++i) {
        SlotSummary &slot = slots[i];
        const SummaryPoint point{utcMs, weightOf(readings[i])};
        if (slot.firstSeq == 0) {
            slot = {readings[i].balance, seq, seq, point, point, point, point};
            continue;
        }
        if (seq < slot.firstSeq) {
            slot.firstSeq = seq;
            slot.first = point;
        }
        if (seq > slot.lastSeq) {
            slot.lastSeq = seq;
            slot.last = point;
        }
        // Of equal weights the earliest, so that the order rows arrive in
        // makes no difference.
        if (point.value < slot.low.value || (point.value == slot.low.value && point.utcMs < slot.low.utcMs))
            slot.low = point;
        if (point.value > slot.high.value || (point.value == slot.high.value && point.utcMs < slot.high.utcMs))
            slot.high = point;
    }
}

std::string BucketSummary::slotBytes() const
{
    std::string bytes;
    bytes.reserve(slots.size() * slotSize);
    for (const SlotSummary &slot : slots) {
        for (const int64_t whole : {slot.balance, slot.firstSeq, slot.lastSeq})
            put(bytes, uint64_t(whole));
        for (const SummaryPoint &point : {slot.first, slot.low, slot.high, slot.last}) {
            put(bytes, uint64_t(point.utcMs));
            put(bytes, std::bit_cast<uint64_t>(point.value));
        }
    }
    return bytes;
}

std::optional<std::vector<SlotSummary>> BucketSummary::slotsFrom(std::string_view bytes)
{
    if (bytes.size() % slotSize != 0)
        return std::nullopt;
    std::vector<SlotSummary> slots(bytes.size() / slotSize);
    size_t at = 0;
    const auto next = [&] { return wordAt(bytes, (at += 8) - 8); };
    // In the order slotBytes writes them.
    for (SlotSummary &slot : slots) {
        for (int64_t *whole : {&slot.balance, &slot.firstSeq, &slot.lastSeq})
            *whole = int64_t(next());
        for (SummaryPoint *point : {&slot.first, &slot.low, &slot.high, &slot.last}) {
            point->utcMs = int64_t(next());
            point->value = std::bit_cast<double>(next());
        }
    }
    return slots;
}
