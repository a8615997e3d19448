// Serial port over the Win32 communications API, opened by its plain name
// "COM1".."COM4". The port is opened for overlapped I/O so that every wait
// (for a reply byte, for a write to finish) blocks on the request and on a
// stop event at once, bounded by the deadline; nothing spins on the input
// count.
//
// A reply is awaited with an overlapped read of one byte, not with
// WaitCommEvent: on a port without modem status lines (a pseudo-terminal
// under Wine) WaitCommEvent ends as cancelled within a millisecond, which
// would turn the wait into a loop. The byte such a read brings in is held
// and counts as waiting input until read() hands it out.
//
// The port is opened without sharing: a port that another program holds
// does not open.
#include "SerialDevice.h"

#include <algorithm>
#include <optional>
#include <utility>

#include <windows.h>

namespace trutina {
namespace {

// Owns one kernel handle; closed on destruction or reset.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~Handle() { reset(); }
    Handle(Handle &&other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle &operator=(Handle &&other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    void reset()
    {
        if (handle_)
            ::CloseHandle(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

Handle makeManualResetEvent() { return Handle(::CreateEventA(nullptr, TRUE, FALSE, nullptr)); }
Handle makeAutoResetEvent() { return Handle(::CreateEventA(nullptr, FALSE, FALSE, nullptr)); }

// Milliseconds left until the deadline, rounded up so that a wait never ends
// before it; 0 once it has passed.
DWORD millisecondsUntil(SteadyClock::time_point deadline)
{
    const auto left = deadline - SteadyClock::now();
    if (left <= SteadyClock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<DWORD>(std::min<long long>(ms, INFINITE - 1));
}

class Win32SerialDevice final : public SerialDevice {
public:
    Win32SerialDevice()
        : stop_(makeManualResetEvent()), cancel_(makeAutoResetEvent()), ioDone_(makeManualResetEvent())
    {
    }

    ~Win32SerialDevice() override { close(); }

    OpenResult open(const std::string &portName) override
    {
        close();
        ::ResetEvent(cancel_.get()); // a cancellation nothing waited for
        port_ = Handle(::CreateFileA(portName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED, nullptr));
        if (!port_) {
            lastError_ = ::GetLastError();
            return OpenResult::NotOpened;
        }
        if (!setUpLine()) {
            lastError_ = ::GetLastError();
            return OpenResult::SetupFailed;
        }
        lastError_ = 0;
        return OpenResult::Opened;
    }

    int lastError() const override { return static_cast<int>(lastError_); }

    void close() override
    {
        port_.reset();
        held_.reset();
    }

    bool isOpen() const override { return static_cast<bool>(port_); }

    int inputCount() override
    {
        const int queued = queuedCount();
        return queued < 0 ? queued : queued + (held_ ? 1 : 0);
    }

    int read(uint8_t *buffer, int size) override
    {
        if (!port_)
            return -1;
        int got = 0;
        if (held_ && size > 0) {
            buffer[got++] = *held_;
            held_.reset();
        }
        // Only bytes already queued are asked for, so the read completes at
        // once.
        const int queued = queuedCount();
        if (queued < 0)
            return -1;
        const DWORD wanted = static_cast<DWORD>(std::min(queued, size - got));
        if (wanted == 0)
            return got;
        DWORD transferred = 0;
        OVERLAPPED request = newRequest();
        if (!::ReadFile(port_.get(), buffer + got, wanted, &transferred, &request) &&
            complete(request, transferred, SteadyClock::now() + queuedReadLimit) != Outcome::Done)
            return -1;
        return got + static_cast<int>(transferred);
    }

    int writeByte(uint8_t byte, SteadyClock::time_point deadline) override
    {
        if (!port_)
            return -1;
        DWORD written = 0;
        OVERLAPPED request = newRequest();
        if (::WriteFile(port_.get(), &byte, 1, &written, &request))
            return static_cast<int>(written);
        switch (complete(request, written, deadline)) {
        case Outcome::Done:
        case Outcome::TimedOut: return static_cast<int>(written);
        case Outcome::Stopped:
        case Outcome::Failed: return -1;
        }
        return -1;
    }

    WaitResult waitReadable(SteadyClock::time_point deadline) override
    {
        if (::WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0)
            return WaitResult::Interrupted;
        const int waiting = inputCount();
        if (waiting != 0)
            return waiting > 0 ? WaitResult::Ready : WaitResult::Failed;

        uint8_t byte = 0;
        DWORD got = 0;
        OVERLAPPED request = newRequest();
        if (!::ReadFile(port_.get(), &byte, 1, &got, &request)) {
            switch (complete(request, got, deadline)) {
            case Outcome::Done: break;
            case Outcome::TimedOut: return WaitResult::TimedOut;
            case Outcome::Stopped: return WaitResult::Interrupted;
            case Outcome::Failed: return WaitResult::Failed;
            }
        }
        // With the port's read time-outs off, a read ends only with its byte.
        if (got != 1)
            return WaitResult::Failed;
        held_ = byte;
        return WaitResult::Ready;
    }

    void interrupt() override { ::SetEvent(stop_.get()); }
    void cancelWait() override { ::SetEvent(cancel_.get()); }

private:
    OVERLAPPED newRequest()
    {
        OVERLAPPED request{};
        request.hEvent = ioDone_.get();
        ::ResetEvent(ioDone_.get());
        return request;
    }

    // Bytes in the port's input queue; also clears any line error, which
    // would otherwise block further I/O on a port set to abort on errors.
    int queuedCount()
    {
        if (!port_)
            return -1;
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(port_.get(), &errors, &status))
            return -1;
        return static_cast<int>(std::min<DWORD>(status.cbInQue, 0x7ffffffe));
    }

    bool setUpLine()
    {
        DCB line{};
        line.DCBlength = sizeof line;
        if (!::GetCommState(port_.get(), &line))
            return false;
        // Only the line format and the modem lines change; flow control,
        // XON/XOFF limits and the special characters stay as the port had them.
        line.BaudRate = CBR_19200;
        line.fBinary = TRUE;
        line.fParity = FALSE;
        line.ByteSize = 8;
        line.Parity = NOPARITY;
        line.StopBits = ONESTOPBIT;
        line.fDtrControl = DTR_CONTROL_DISABLE;
        line.fRtsControl = RTS_CONTROL_DISABLE;
        if (!::SetCommState(port_.get(), &line))
            return false;
        // All read time-outs off: a read waits for the bytes it asked for,
        // which is what waiting for a reply relies on. The deadlines are
        // kept by the waits themselves.
        COMMTIMEOUTS timeouts{};
        return ::SetCommTimeouts(port_.get(), &timeouts) != 0;
    }

    enum class Outcome { Done, TimedOut, Stopped, Failed };

    // Follows an overlapped request whose call returned FALSE: waits for it,
    // the stop event or the deadline, and cancels it unless it completed.
    // `transferred` holds what the request moved in any case.
    Outcome complete(OVERLAPPED &request, DWORD &transferred, SteadyClock::time_point deadline)
    {
        if (::GetLastError() != ERROR_IO_PENDING)
            return Outcome::Failed;
        const HANDLE waits[] = {request.hEvent, stop_.get(), cancel_.get()};
        const DWORD woke = ::WaitForMultipleObjects(3, waits, FALSE, millisecondsUntil(deadline));
        if (woke == WAIT_OBJECT_0)
            return ::GetOverlappedResult(port_.get(), &request, &transferred, FALSE) ? Outcome::Done
                                                                                     : Outcome::Failed;
        // The request must be over before its OVERLAPPED goes out of scope.
        ::CancelIoEx(port_.get(), &request);
        const bool completed = ::GetOverlappedResult(port_.get(), &request, &transferred, TRUE) != 0;
        if (woke == WAIT_OBJECT_0 + 1 || woke == WAIT_OBJECT_0 + 2)
            return Outcome::Stopped;
        if (woke != WAIT_TIMEOUT)
            return Outcome::Failed;
        // A transfer that finished just as the wait gave up still counts.
        return completed && transferred > 0 ? Outcome::Done : Outcome::TimedOut;
    }

    // Bound for a read of bytes already queued, which never really waits.
    static constexpr std::chrono::seconds queuedReadLimit{1};

    Handle port_;
    DWORD lastError_ = 0;
    Handle stop_;   // set once by interrupt(), never reset
    Handle cancel_; // set by cancelWait(), reset by the wait it ends
    Handle ioDone_; // completion of the one request in flight
    std::optional<uint8_t> held_; // brought in by waitReadable, not yet read
};

} // namespace

std::unique_ptr<SerialDevice> makePlatformSerialDevice()
{
    return std::make_unique<Win32SerialDevice>();
}

} // namespace trutina
