// TRUTINA.DLL as the application sees it: loaded by name with LoadLibraryA,
// its two exports looked up with GetProcAddress, a line of three balances
// on COM1. The line is unplugged and plugged in again by whoever runs this
// program: it prints "request: unplug" or "request: replug" and then waits,
// within a bound, for the library to notice. One result line per check;
// the exit code is the number of failed checks. The program ends while the
// library's worker still polls, as the application does.
#include "../WaitFor.h"
#include "TrutinaClient.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using trutina::testing::waitFor;

// What the driver script plays on COM1 (see run-under-wine.sh).
struct ExpectedBalance {
    int32_t modelCode;
    int32_t identNumber;
    int32_t rawValue;
    int32_t divisor;
    int32_t unitCode;
    int32_t stableFlag;
};
const ExpectedBalance line[] = {
    {301, 500001, -2, 10, 200, 1},
    {402, 500002, 24690, 100, 201, 1},
    {303, 500003, 37035, 1000, 205, 0},
};
constexpr int balanceCount = 3;

constexpr auto linkLimit = 20s;

// The exports as looked up at load: still callable after FreeLibrary,
// which must leave the library, and its worker, in place.
trutina::Block fresh(const trutina::Exports &library)
{
    trutina::Block block;
    block.fill(-7);
    library.freshData(block.data());
    return block;
}

class Results {
public:
    void check(bool passed, const std::string &name, const std::string &detail = {})
    {
        std::printf("%s - %s%s%s\n", passed ? "ok" : "FAILED", name.c_str(), detail.empty() ? "" : ": ",
                    detail.c_str());
        std::fflush(stdout);
        (passed ? passed_ : failed_) += 1;
    }
    int passed() const { return passed_; }
    int failed() const { return failed_; }

private:
    int passed_ = 0;
    int failed_ = 0;
};

void request(const char *what)
{
    std::printf("request: %s\n", what);
    std::fflush(stdout);
}

std::string headerText(const trutina::Block &block)
{
    return std::to_string(block.version()) + " " + std::to_string(block.linkState()) + " " +
           std::to_string(block.currentPort()) + " " + std::to_string(block.balanceCount());
}

std::string readingCountsText(const trutina::Block &block)
{
    std::string text;
    for (int p = 1; p <= balanceCount; ++p)
        text += (text.empty() ? "" : " ") + std::to_string(block.readingCount(p));
    return text;
}

int32_t utcMillisecondsOfDay()
{
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    return ((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds;
}

void checkBlockAtLoad(const trutina::Exports &library, Results &results)
{
    const trutina::Block block = fresh(library);
    bool loadValues = true;
    for (int p = 0; p < TRUTINA_TABLE_SLOTS; ++p)
        loadValues = loadValues && block.modelCode(p) == 100 && block.readingCount(p) == 0 &&
                     block.unitCode(p) == 100 && block.divisor(p) == 1;
    results.check(block.version() == TRUTINA_VERSION && block.linkState() == TRUTINA_LINK_SETTING_UP &&
                      block.currentPort() == 0 && block.balanceCount() == 0 && loadValues,
                  "block before any port request", headerText(block));
}

bool online(const trutina::Exports &library) { return fresh(library).online(); }

bool everyBalanceReadAfter(const trutina::Exports &library, const trutina::Block &before)
{
    const trutina::Block now = fresh(library);
    for (int p = 1; p <= balanceCount; ++p)
        if (!trutina::countIsNewer(now.readingCount(p), before.readingCount(p)))
            return false;
    return true;
}

void checkLineOnCom1(const trutina::Exports &library, Results &results)
{
    results.check(library.setComPort(1) != 0, "the first SetComPort starts the worker");
    const bool reached = waitFor([&] { return online(library); }, linkLimit);
    trutina::Block block = fresh(library);
    results.check(reached && block.currentPort() == 1 && block.balanceCount() == balanceCount,
                  "COM1 comes on line with three balances", headerText(block));
    if (!reached)
        return;

    trutina::Block twoEach;
    for (int p = 1; p <= balanceCount; ++p)
        twoEach.setTable(TRUTINA_TABLE_READING_COUNT, p, 2);
    const bool delivered = waitFor([&] { return everyBalanceReadAfter(library, twoEach); }, linkLimit);
    results.check(delivered, "every balance delivers readings", readingCountsText(fresh(library)));

    block = fresh(library);
    for (int p = 1; p <= balanceCount; ++p) {
        const ExpectedBalance &expected = line[p - 1];
        const auto at = [&](TrutinaTable table) { return block.table(table, p); };
        const std::string name = "balance " + std::to_string(p);
        results.check(at(TRUTINA_TABLE_MODEL_CODE) == expected.modelCode &&
                          at(TRUTINA_TABLE_IDENT_NUMBER) == expected.identNumber,
                      name + " identified", std::to_string(at(TRUTINA_TABLE_MODEL_CODE)) + " " +
                                                std::to_string(at(TRUTINA_TABLE_IDENT_NUMBER)));
        results.check(at(TRUTINA_TABLE_RAW_VALUE) == expected.rawValue &&
                          at(TRUTINA_TABLE_DIVISOR) == expected.divisor &&
                          at(TRUTINA_TABLE_UNIT_CODE) == expected.unitCode &&
                          at(TRUTINA_TABLE_STABLE_FLAG) == expected.stableFlag,
                      name + " reading decoded",
                      std::to_string(at(TRUTINA_TABLE_RAW_VALUE)) + "/" + std::to_string(at(TRUTINA_TABLE_DIVISOR)) +
                          " unit " + std::to_string(at(TRUTINA_TABLE_UNIT_CODE)) + " stable " +
                          std::to_string(at(TRUTINA_TABLE_STABLE_FLAG)));
    }
    const int32_t age = utcMillisecondsOfDay() - block.timeOfDayMs(1);
    results.check((age >= 0 && age < 10'000) || age < -86'000'000, "reading time is the UTC time of day",
                  std::to_string(age) + " ms old");

    const trutina::Block before = fresh(library);
    results.check(library.setComPort(1) == 0, "a later SetComPort does not start another worker");
    results.check(waitFor([&] { return online(library) && everyBalanceReadAfter(library, before); }, linkLimit),
                  "the line comes back on line after the port request");
}

void checkUnplugAndSearch(const trutina::Exports &library, Results &results)
{
    const trutina::Block before = fresh(library);
    request("unplug");
    const bool noticed = waitFor([&] { return fresh(library).linkState() == TRUTINA_LINK_SETTING_UP; }, linkLimit);
    results.check(noticed, "unplugging the line returns to 101", headerText(fresh(library)));
    const trutina::Block kept = fresh(library);
    results.check(kept.readingCount(1) >= before.readingCount(1) && kept.readingCount(1) > 0, "readings are kept");

    results.check(library.setComPort(0) == 0, "SetComPort(0) restarts the search");
    std::set<int32_t> tried;
    const bool circled = waitFor(
        [&] {
            tried.insert(fresh(library).currentPort());
            return tried.count(2) && tried.count(3) && tried.count(4);
        },
        linkLimit);
    std::string seen;
    for (const int32_t port : tried)
        seen += std::to_string(port) + " ";
    results.check(circled && fresh(library).linkState() == TRUTINA_LINK_SETTING_UP,
                  "the automatic search moves through the ports", "ports seen: " + seen);

    request("replug");
    results.check(waitFor([&] { return online(library) && everyBalanceReadAfter(library, kept); }, linkLimit),
                  "the search finds the line again when it is plugged in");
    const trutina::Block block = fresh(library);
    results.check(block.currentPort() == 1 && block.balanceCount() == balanceCount,
                  "found on COM1 with three balances", headerText(block));
}

bool underWine() { return ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

// The library holds COM1 alone: another program's open fails, even one
// that would share the port. Wine applies no share modes to serial devices,
// so under Wine the second open goes through whatever the library asks.
void checkPortIsExclusive(Results &results)
{
    const HANDLE other = ::CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD error = ::GetLastError();
    if (other != INVALID_HANDLE_VALUE)
        ::CloseHandle(other);
    if (other != INVALID_HANDLE_VALUE && underWine()) {
        std::printf("note - a second open of COM1 went through: Wine does not apply share modes to serial ports\n");
        return;
    }
    results.check(other == INVALID_HANDLE_VALUE, "a second open of COM1 is refused",
                  "error " + std::to_string(error));
}

// FreeLibrary must neither hang (the worker cannot be stopped under the
// loader's lock) nor pull the code from under the running worker.
void checkFreeLibraryKeepsTheWorker(trutina::Library &loaded, Results &results)
{
    const trutina::Exports library = loaded.exports();
    auto freed = std::async(std::launch::async, [&] { loaded.unload(); });
    const bool returned = freed.wait_for(5s) == std::future_status::ready;
    results.check(returned, "FreeLibrary returns while the worker runs");
    if (!returned) // the loader is stuck, and an orderly exit would wait for it
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(results.failed()));
    const trutina::Block before = fresh(library);
    results.check(waitFor([&] { return everyBalanceReadAfter(library, before); }, linkLimit),
                  "the worker keeps polling after FreeLibrary");
}

} // namespace

int main()
{
    Results results;
    trutina::Library library("TRUTINA.DLL");
    results.check(library.exports().complete(), "TRUTINA.DLL loads and exports SetComPort and FreshData",
                  library.error());
    if (!library.exports().complete())
        return 1;
    checkBlockAtLoad(library.exports(), results);
    checkLineOnCom1(library.exports(), results);
    checkPortIsExclusive(results);
    checkUnplugAndSearch(library.exports(), results);
    checkFreeLibraryKeepsTheWorker(library, results);
    std::printf("%d passed, %d failed\n", results.passed(), results.failed());
    return results.failed();
}
