#include "BalanceProtocol.h"

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
    return scanPass(Command::Identify) && scanPass(Command::Model);
}

bool BalanceProtocol::scanPass(Command command)
{
    const int balances = readings_.balanceCount.load();
    for (int position = balances; position >= 0; --position) {
        Frame frame = position > 0 ? makeRequest(command, position) : makeRequest(Command::None, balances);
        if (!exchange(frame))
            return false;
        if (position == balances)
            continue; // nothing was asked before this frame
        if (command == Command::Identify)
            storeKind(position + 1, frame);
        else
            storeModel(position + 1, frame);
    }
    return true;
}

void BalanceProtocol::storeKind(int position, const Frame &reply)
{
    const int32_t kind = isValidReply(reply, position) ? kindFromIdentifyReply(reply) : TRUTINA_MODEL_UNKNOWN;
    std::lock_guard lock(readings_.mutex);
    readings_.tables.at(TRUTINA_TABLE_MODEL_CODE, position) = kind;
}

void BalanceProtocol::storeModel(int position, const Frame &reply)
{
    std::lock_guard lock(readings_.mutex);
    auto &tables = readings_.tables;
    tables.at(TRUTINA_TABLE_IDENT_NUMBER, position) = 0;
    const int32_t kind = tables.at(TRUTINA_TABLE_MODEL_CODE, position);
    // A balance whose model reply fails keeps its kind as model code.
    if (!isValidReply(reply, position) || (kind != TRUTINA_KIND_1 && kind != TRUTINA_KIND_2))
        return;
    tables.at(TRUTINA_TABLE_IDENT_NUMBER, position) = unsigned24(reply);
    tables.at(TRUTINA_TABLE_MODEL_CODE, position) = modelCodeFor(kind, reply[3]);
}

void BalanceProtocol::startPolling()
{
    last_ = static_cast<int8_t>(readings_.balanceCount.load());
    before_ = 0;
}

bool BalanceProtocol::pollStep()
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
        return false;
    earlierTime_ = latestTime_;
    latestTime_ = timeOfDay_();
    if (decode)
        storeWeight(before_, frame);
    return true;
}

void BalanceProtocol::storeWeight(int position, const Frame &reply)
{
    std::lock_guard lock(readings_.mutex);
    if (!isValidReply(reply, position))
        return;
    const WeightReading reading = decodeWeight(reply);
    auto &tables = readings_.tables;
    int32_t &count = tables.at(TRUTINA_TABLE_READING_COUNT, position);
    count = static_cast<int32_t>(static_cast<uint32_t>(count) + 1u); // wraps after years, never overflows
    tables.at(TRUTINA_TABLE_TIME_OF_DAY, position) = earlierTime_;
    tables.at(TRUTINA_TABLE_STABLE_FLAG, position) = reading.stableFlag;
    tables.at(TRUTINA_TABLE_UNIT_CODE, position) = reading.unitCode;
    tables.at(TRUTINA_TABLE_DIVISOR, position) = reading.divisor;
    tables.at(TRUTINA_TABLE_RAW_VALUE, position) = reading.rawValue;
}

int32_t utcTimeOfDayMs()
{
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    constexpr long long msPerDay = 86'400'000;
    return static_cast<int32_t>(((sinceEpoch % msPerDay) + msPerDay) % msPerDay);
}

} // namespace trutina
