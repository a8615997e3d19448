// The one C++ client of the scale link library: loads it by path, calls its
// two exports and reads the block of readings through named accessors, so
// that no caller computes a word offset of its own. Header-only, no Qt.
#pragma once

#include "trutina.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace trutina {

// True when readingCount `count` was taken after `earlier`. The counts wrap
// from INT32_MAX to INT32_MIN after 2^31 readings, so they are compared as
// serial numbers: a count up to 2^31 - 1 readings ahead is newer.
inline bool countIsNewer(int32_t count, int32_t earlier)
{
    return static_cast<int32_t>(static_cast<uint32_t>(count) - static_cast<uint32_t>(earlier)) > 0;
}

// "g", "ct", ... for unit codes 200..207; empty for any other code.
inline const char *unitSymbol(int32_t unitCode)
{
    static constexpr const char *symbols[] = {"g", "ct", "%", "pc", "mg", "kg", "o", "ot"};
    if (unitCode < TRUTINA_UNIT_FIRST || unitCode > TRUTINA_UNIT_LAST)
        return "";
    return symbols[unitCode - TRUTINA_UNIT_FIRST];
}

// A short English name of a link state, "?" for a value that is none.
inline const char *linkStateName(int32_t state)
{
    switch (state) {
    case TRUTINA_LINK_SETTING_UP: return "setting up the port";
    case TRUTINA_LINK_INITIALISING: return "counting and identifying";
    case TRUTINA_LINK_ONLINE: return "on line";
    default: return "?";
    }
}

// A copy of the block that FreshData fills. Positions run 1..15; slot 0 of
// every table exists but is never used by the library.
class Block {
public:
    static constexpr int wordCount = TRUTINA_BLOCK_WORDS;

    int32_t *data() { return words_.data(); }
    const int32_t *data() const { return words_.data(); }
    // Every word set to one value, to see which ones FreshData writes.
    void fill(int32_t value) { words_.fill(value); }

    int32_t header(TrutinaHeaderWord word) const { return words_[static_cast<size_t>(word)]; }
    void setHeader(TrutinaHeaderWord word, int32_t value) { words_[static_cast<size_t>(word)] = value; }
    int32_t table(TrutinaTable table, int position) const { return words_[index(table, position)]; }
    void setTable(TrutinaTable table, int position, int32_t value) { words_[index(table, position)] = value; }

    int32_t version() const { return header(TRUTINA_WORD_VERSION); }
    int32_t linkState() const { return header(TRUTINA_WORD_LINK_STATE); }
    bool online() const { return linkState() == TRUTINA_LINK_ONLINE; }
    int32_t currentPort() const { return header(TRUTINA_WORD_CURRENT_PORT); }
    int32_t balanceCount() const { return header(TRUTINA_WORD_BALANCE_COUNT); }

    int32_t modelCode(int position) const { return table(TRUTINA_TABLE_MODEL_CODE, position); }
    int32_t identNumber(int position) const { return table(TRUTINA_TABLE_IDENT_NUMBER, position); }
    int32_t readingCount(int position) const { return table(TRUTINA_TABLE_READING_COUNT, position); }
    bool stable(int position) const { return table(TRUTINA_TABLE_STABLE_FLAG, position) != 0; }
    int32_t unitCode(int position) const { return table(TRUTINA_TABLE_UNIT_CODE, position); }
    int32_t divisor(int position) const { return table(TRUTINA_TABLE_DIVISOR, position); }
    int32_t rawValue(int position) const { return table(TRUTINA_TABLE_RAW_VALUE, position); }
    // UTC milliseconds since midnight at which the reading arrived.
    int32_t timeOfDayMs(int position) const { return table(TRUTINA_TABLE_TIME_OF_DAY, position); }
    // rawValue / divisor; a divisor the library never sends as 0 counts as 1.
    double weight(int position) const
    {
        const int32_t by = divisor(position);
        return static_cast<double>(rawValue(position)) / static_cast<double>(by == 0 ? 1 : by);
    }
    const char *unit(int position) const { return unitSymbol(unitCode(position)); }

    bool operator==(const Block &) const = default;

private:
    static size_t index(TrutinaTable table, int position)
    {
        if (position < 0 || position >= TRUTINA_TABLE_SLOTS)
            throw std::out_of_range("balance position " + std::to_string(position));
        return static_cast<size_t>(TRUTINA_WORD(table, position));
    }

    std::array<int32_t, TRUTINA_BLOCK_WORDS> words_{};
};

// The two exports as plain function pointers; either may be missing. The
// optional third, SetPortDevice, is missing from the DLL and older libraries.
struct Exports {
    TrutinaSetComPortFn setComPort = nullptr;
    TrutinaFreshDataFn freshData = nullptr;
    TrutinaSetPortDeviceFn setPortDevice = nullptr;

    bool complete() const { return setComPort && freshData; }
};

// The library loaded by path (a bare file name follows the system's search
// order) and unloaded on destruction. A missing file or export is no
// exception: loaded(), exports() and error() say what was found.
class Library {
public:
    explicit Library(const std::string &path)
    {
#ifdef _WIN32
        handle_ = ::LoadLibraryA(path.c_str());
        if (!handle_) {
            error_ = path + ": " + systemMessage(::GetLastError());
            return;
        }
#else
        handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            const char *reason = ::dlerror();
            error_ = reason ? reason : path + ": cannot be loaded";
            return;
        }
#endif
        exports_.setComPort = reinterpret_cast<TrutinaSetComPortFn>(symbol("SetComPort"));
        exports_.freshData = reinterpret_cast<TrutinaFreshDataFn>(symbol("FreshData"));
        exports_.setPortDevice = reinterpret_cast<TrutinaSetPortDeviceFn>(symbol("SetPortDevice"));
        if (!exports_.complete())
            error_ = path + ": lacks " + (exports_.setComPort ? "FreshData" : "SetComPort");
    }
    ~Library() { unload(); }

    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
    Library(Library &&other) noexcept
        : handle_(std::exchange(other.handle_, nullptr)), exports_(std::exchange(other.exports_, {})),
          error_(std::move(other.error_))
    {
    }
    Library &operator=(Library &&other) noexcept
    {
        if (this != &other) {
            unload();
            handle_ = std::exchange(other.handle_, nullptr);
            exports_ = std::exchange(other.exports_, {});
            error_ = std::move(other.error_);
        }
        return *this;
    }

    bool loaded() const { return handle_ != nullptr; }
    // Why loading or an export failed; empty when all is there.
    const std::string &error() const { return error_; }
    const Exports &exports() const { return exports_; }

    // SetComPort's result; 0 when the export is missing.
    int32_t setComPort(int32_t port) const { return exports_.setComPort ? exports_.setComPort(port) : 0; }
    // SetPortDevice's result; 0 when the library lacks it.
    int32_t setPortDevice(int32_t port, const char *path) const
    {
        return exports_.setPortDevice ? exports_.setPortDevice(port, path) : 0;
    }
    // FreshData into raw words, for callers that test the export itself.
    int32_t freshData(int32_t *words) const { return exports_.freshData ? exports_.freshData(words) : 0; }
    // FreshData into block; false (block untouched) when the export is missing.
    bool freshData(Block &block) const { return freshData(block.data()) != 0; }
    Block fresh() const
    {
        Block block;
        freshData(block);
        return block;
    }

    // Unloads now; the exports are gone afterwards.
    void unload()
    {
        if (!handle_)
            return;
#ifdef _WIN32
        ::FreeLibrary(handle_);
#else
        ::dlclose(handle_);
#endif
        handle_ = nullptr;
        exports_ = {};
    }

private:
#ifdef _WIN32
    using Handle = HMODULE;
    void *symbol(const char *name) const { return reinterpret_cast<void *>(::GetProcAddress(handle_, name)); }
    static std::string systemMessage(DWORD code)
    {
        char text[256] = {};
        const DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                              code, 0, text, sizeof text, nullptr);
        std::string message(text, length);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
            message.pop_back();
        return message.empty() ? "error " + std::to_string(code) : message;
    }
#else
    using Handle = void *;
    void *symbol(const char *name) const { return ::dlsym(handle_, name); }
#endif

    Handle handle_ = nullptr;
    Exports exports_;
    std::string error_;
};

} // namespace trutina
