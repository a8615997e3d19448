#include "BalanceProtocol.h"

#include <algorithm>
#include <chrono>

namespace trutina {
namespace {

constexpr int zeroRunNeeded = 16;
constexpr int zeroBytesAllowed = 34;

} // namespace

BalanceProtocol::BalanceProtocol(ByteExchanger &line, LineReadings &readings, TimeOfDaySource timeOfDay)
    : line_(line), readings_(readings), timeOfDay_(std::move(timeOfDay))
{
}

bool BalanceProtocol::countBalances()
{
    // Zero bytes pass the balances unchanged; a clean run of them shows the
    // line is in step before the count byte goes out.
    int zeroRun = 0;
    for (int sent = 0; zeroRun < zeroRunNeeded; ++sent) {
        if (sent == zeroBytesAllowed)
            return false;
        uint8_t byte = 0x00;
        if (!line_.exchange(&byte, 1))
            return false;
        zeroRun = byte == 0x00 ? zeroRun + 1 : 0;
    }
    // Every balance adds one to the count byte on its way.
    uint8_t count = 0x01;
    if (!line_.exchange(&count, 1))
        return false;
    const int32_t balances = int32_t(count) - 1;
    readings_.balanceCount.store(balances);
    return balances >= 1 && balances <= TRUTINA_MAX_BALANCES;
}

bool BalanceProtocol::scanBalances()
{
    PassResult pass = scanPass(Command::Identify);
    if (pass == PassResult::Answered)
        pass = scanPass(Command::Model);
    if (pass == PassResult::FrameFailed)
        return false;
    if (pass == PassResult::Answered) {
        unansweredScans_ = 0;
        return true;
    }
    const int32_t count = readings_.balanceCount.load();
    unansweredScans_ = count == unansweredCount_ ? unansweredScans_ + 1 : 1;
    unansweredCount_ = count;
    if (unansweredScans_ < scansBeforePolling)
        return false;
    unansweredScans_ = 0;
    return true;
}

BalanceProtocol::PassResult BalanceProtocol::scanPass(Command command)
{
    const int balances = readings_.balanceCount.load();
    int validReplies = 0;
    for (int position = balances; position >= 0; --position) {
        Frame frame = position > 0 ? makeRequest(command, position) : makeRequest(Command::None, balances);
        if (!exchange(frame))
            return PassResult::FrameFailed;
        if (position == balances)
            continue; // nothing was asked before this frame
        const bool valid =
            command == Command::Identify ? storeKind(position + 1, frame) : storeModel(position + 1, frame);
        validReplies += valid;
        if (!valid && !settle())
            return PassResult::FrameFailed;
    }
    // Not one valid reply: the line is out of step, or no balance answers
    // its scan.
    return validReplies > 0 ? PassResult::Answered : PassResult::NoValidReply;
}

bool BalanceProtocol::storeKind(int position, const Frame &reply)
{
    const bool valid = isValidReply(reply, position);
    const int32_t kind = valid ? kindFromIdentifyReply(reply) : TRUTINA_MODEL_UNKNOWN;
    std::lock_guard lock(readings_.mutex);
    readings_.tables.at(TRUTINA_TABLE_MODEL_CODE, position) = kind;
    return valid;
}

bool BalanceProtocol::storeModel(int position, const Frame &reply)
{
    const bool valid = isValidReply(reply, position);
    std::lock_guard lock(readings_.mutex);
    auto &tables = readings_.tables;
    tables.at(TRUTINA_TABLE_IDENT_NUMBER, position) = 0;
    const int32_t kind = tables.at(TRUTINA_TABLE_MODEL_CODE, position);
    // A balance whose model reply fails keeps its kind as model code.
    if (!valid || (kind != TRUTINA_KIND_1 && kind != TRUTINA_KIND_2))
        return valid;
    tables.at(TRUTINA_TABLE_IDENT_NUMBER, position) = unsigned24(reply);
    tables.at(TRUTINA_TABLE_MODEL_CODE, position) = modelCodeFor(kind, reply[3]);
    return true;
}

void BalanceProtocol::startPolling()
{
    last_ = static_cast<int8_t>(readings_.balanceCount.load());
    before_ = 0;
    failedInARow_ = 0;
}

BalanceProtocol::PollResult BalanceProtocol::pollStep()
{
    const int balances = readings_.balanceCount.load();
    // A reply is decoded unless the previous frame jumped back up to the
    // last balance: that frame's reply is thrown away, and the last balance
    // is asked once more, so each round asks N, N, N-1, ..., 1.
    const bool decode = last_ <= before_;
    before_ = last_;
    last_ = static_cast<int8_t>(decode && last_ >= 2 ? last_ - 1 : balances);

    Frame frame = makeRequest(Command::Weight, last_);
    if (!exchange(frame))
        return PollResult::LineFailed;
    earlierTime_ = latestTime_;
    latestTime_ = timeOfDay_();
    if (!decode)
        return PollResult::Polled;
    if (storeWeight(before_, frame)) {
        failedInARow_ = 0;
        return PollResult::Polled;
    }
    if (!settle())
        return PollResult::LineFailed;
    return ++failedInARow_ >= balances ? PollResult::OutOfStep : PollResult::Polled;
}

std::chrono::microseconds BalanceProtocol::quietTime(int balances)
{
    constexpr int bitsPerByte = 10; // 8N1
    constexpr int baud = 19200;
    constexpr std::chrono::milliseconds adapterLatency{20}; // a 16 ms latency timer, with room to spare
    const int hops = std::clamp(balances, 0, TRUTINA_MAX_BALANCES) + 1;
    return std::chrono::microseconds(hops * bitsPerByte * 1'000'000 / baud) + adapterLatency;
}

bool BalanceProtocol::storeWeight(int position, const Frame &reply)
{
    std::lock_guard lock(readings_.mutex);
    if (!isValidReply(reply, position))
        return false;
    const WeightReading reading = decodeWeight(reply);
    auto &tables = readings_.tables;
    int32_t &count = tables.at(TRUTINA_TABLE_READING_COUNT, position);
    count = static_cast<int32_t>(static_cast<uint32_t>(count) + 1u); // wraps after years, never overflows
    tables.at(TRUTINA_TABLE_TIME_OF_DAY, position) = earlierTime_;
    tables.at(TRUTINA_TABLE_STABLE_FLAG, position) = reading.stableFlag;
    tables.at(TRUTINA_TABLE_UNIT_CODE, position) = reading.unitCode;
    tables.at(TRUTINA_TABLE_DIVISOR, position) = reading.divisor;
    tables.at(TRUTINA_TABLE_RAW_VALUE, position) = reading.rawValue;
    return true;
}

int32_t utcTimeOfDayMs()
{
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    constexpr long long msPerDay = 86'400'000;
    return static_cast<int32_t>(((sinceEpoch % msPerDay) + msPerDay) % msPerDay);
}

} // namespace trutina
