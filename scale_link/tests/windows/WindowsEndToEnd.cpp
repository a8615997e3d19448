// TRUTINA.DLL as the application sees it: loaded by name with LoadLibraryA,
// its two exports looked up with GetProcAddress, a line of three balances
// on COM1. The line is unplugged and plugged in again by whoever runs this
// program: it prints "request: unplug" or "request: replug" and then waits,
// within a bound, for the library to notice. One result line per check;
// the exit code is the number of failed checks. The program ends while the
// library's worker still polls, as the application does.
#include "../WaitFor.h"
#include "trutina.h"

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

class Library {
public:
    explicit Library(const char *name) : module_(::LoadLibraryA(name))
    {
        if (!module_)
            return;
        setComPort_ = reinterpret_cast<TrutinaSetComPortFn>(
            reinterpret_cast<void *>(::GetProcAddress(module_, "SetComPort")));
        freshData_ = reinterpret_cast<TrutinaFreshDataFn>(
            reinterpret_cast<void *>(::GetProcAddress(module_, "FreshData")));
    }
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    bool loaded() const { return module_ && setComPort_ && freshData_; }
    void freeLibrary() { ::FreeLibrary(module_); }
    int32_t setComPort(int32_t port) { return setComPort_(port); }
    std::vector<int32_t> block()
    {
        std::vector<int32_t> words(TRUTINA_BLOCK_WORDS, -7);
        freshData_(words.data());
        return words;
    }
    int32_t word(int index) { return block()[index]; }
    int32_t table(TrutinaTable table, int position) { return word(TRUTINA_WORD(table, position)); }

private:
    HMODULE module_;
    TrutinaSetComPortFn setComPort_ = nullptr;
    TrutinaFreshDataFn freshData_ = nullptr;
};

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

std::string words(const std::vector<int32_t> &block, int first, int count)
{
    std::string text;
    for (int i = first; i < first + count; ++i)
        text += (text.empty() ? "" : " ") + std::to_string(block[i]);
    return text;
}

int32_t utcMillisecondsOfDay()
{
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    return ((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds;
}

void checkBlockAtLoad(Library &library, Results &results)
{
    const auto block = library.block();
    bool loadValues = true;
    for (int p = 0; p < TRUTINA_TABLE_SLOTS; ++p)
        loadValues = loadValues && block[TRUTINA_WORD(TRUTINA_TABLE_MODEL_CODE, p)] == 100 &&
                     block[TRUTINA_WORD(TRUTINA_TABLE_READING_COUNT, p)] == 0 &&
                     block[TRUTINA_WORD(TRUTINA_TABLE_UNIT_CODE, p)] == 100 &&
                     block[TRUTINA_WORD(TRUTINA_TABLE_DIVISOR, p)] == 1;
    results.check(block[0] == TRUTINA_VERSION && block[1] == TRUTINA_LINK_SETTING_UP && block[2] == 0 &&
                      block[3] == 0 && loadValues,
                  "block before any port request", words(block, 0, 4));
}

bool online(Library &library) { return library.word(TRUTINA_WORD_LINK_STATE) == TRUTINA_LINK_ONLINE; }

bool everyBalanceReadAfter(Library &library, const std::vector<int32_t> &counts)
{
    for (int p = 1; p <= balanceCount; ++p)
        if (library.table(TRUTINA_TABLE_READING_COUNT, p) <= counts[p])
            return false;
    return true;
}

std::vector<int32_t> readingCounts(Library &library)
{
    const auto block = library.block();
    return {block.begin() + TRUTINA_WORD(TRUTINA_TABLE_READING_COUNT, 0),
            block.begin() + TRUTINA_WORD(TRUTINA_TABLE_READING_COUNT, TRUTINA_TABLE_SLOTS)};
}

void checkLineOnCom1(Library &library, Results &results)
{
    results.check(library.setComPort(1) != 0, "the first SetComPort starts the worker");
    const bool reached = waitFor([&] { return online(library); }, linkLimit);
    auto block = library.block();
    results.check(reached && block[TRUTINA_WORD_CURRENT_PORT] == 1 && block[TRUTINA_WORD_BALANCE_COUNT] == balanceCount,
                  "COM1 comes on line with three balances", words(block, 0, 4));
    if (!reached)
        return;

    const std::vector<int32_t> twoEach(TRUTINA_TABLE_SLOTS, 2);
    const bool delivered = waitFor([&] { return everyBalanceReadAfter(library, twoEach); }, linkLimit);
    results.check(delivered, "every balance delivers readings",
                  words(library.block(), TRUTINA_WORD(TRUTINA_TABLE_READING_COUNT, 1), balanceCount));

    block = library.block();
    for (int p = 1; p <= balanceCount; ++p) {
        const ExpectedBalance &expected = line[p - 1];
        const auto at = [&](TrutinaTable table) { return block[TRUTINA_WORD(table, p)]; };
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
    const int32_t age = utcMillisecondsOfDay() - block[TRUTINA_WORD(TRUTINA_TABLE_TIME_OF_DAY, 1)];
    results.check((age >= 0 && age < 10'000) || age < -86'000'000, "reading time is the UTC time of day",
                  std::to_string(age) + " ms old");

    const std::vector<int32_t> before = readingCounts(library);
    results.check(library.setComPort(1) == 0, "a later SetComPort does not start another worker");
    results.check(waitFor([&] { return online(library) && everyBalanceReadAfter(library, before); }, linkLimit),
                  "the line comes back on line after the port request");
}

void checkUnplugAndSearch(Library &library, Results &results)
{
    const std::vector<int32_t> before = readingCounts(library);
    request("unplug");
    const bool noticed =
        waitFor([&] { return library.word(TRUTINA_WORD_LINK_STATE) == TRUTINA_LINK_SETTING_UP; }, linkLimit);
    results.check(noticed, "unplugging the line returns to 101", words(library.block(), 0, 4));
    const std::vector<int32_t> kept = readingCounts(library);
    results.check(kept[1] >= before[1] && kept[1] > 0, "readings are kept");

    results.check(library.setComPort(0) == 0, "SetComPort(0) restarts the search");
    std::set<int32_t> tried;
    const bool circled = waitFor(
        [&] {
            tried.insert(library.word(TRUTINA_WORD_CURRENT_PORT));
            return tried.count(2) && tried.count(3) && tried.count(4);
        },
        linkLimit);
    std::string seen;
    for (const int32_t port : tried)
        seen += std::to_string(port) + " ";
    results.check(circled && library.word(TRUTINA_WORD_LINK_STATE) == TRUTINA_LINK_SETTING_UP,
                  "the automatic search moves through the ports", "ports seen: " + seen);

    request("replug");
    results.check(waitFor([&] { return online(library) && everyBalanceReadAfter(library, kept); }, linkLimit),
                  "the search finds the line again when it is plugged in");
    const auto block = library.block();
    results.check(block[TRUTINA_WORD_CURRENT_PORT] == 1 && block[TRUTINA_WORD_BALANCE_COUNT] == balanceCount,
                  "found on COM1 with three balances", words(block, 0, 4));
}

// FreeLibrary must neither hang (the worker cannot be stopped under the
// loader's lock) nor pull the code from under the running worker.
void checkFreeLibraryKeepsTheWorker(Library &library, Results &results)
{
    auto freed = std::async(std::launch::async, [&] { library.freeLibrary(); });
    const bool returned = freed.wait_for(5s) == std::future_status::ready;
    results.check(returned, "FreeLibrary returns while the worker runs");
    if (!returned) // the loader is stuck, and an orderly exit would wait for it
        ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(results.failed()));
    const std::vector<int32_t> before = readingCounts(library);
    results.check(waitFor([&] { return everyBalanceReadAfter(library, before); }, linkLimit),
                  "the worker keeps polling after FreeLibrary");
}

} // namespace

int main()
{
    Results results;
    Library library("TRUTINA.DLL");
    results.check(library.loaded(), "TRUTINA.DLL loads and exports SetComPort and FreshData");
    if (!library.loaded())
        return 1;
    checkBlockAtLoad(library, results);
    checkLineOnCom1(library, results);
    checkUnplugAndSearch(library, results);
    checkFreeLibraryKeepsTheWorker(library, results);
    std::printf("%d passed, %d failed\n", results.passed(), results.failed());
    return results.failed();
}
