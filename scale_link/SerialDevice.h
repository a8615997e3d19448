// The platform's serial port, reduced to what the byte exchange needs.
// One implementation per platform; tests use in-memory fakes.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace trutina {

using SteadyClock = std::chrono::steady_clock;

class SerialDevice {
public:
    enum class OpenResult { Opened, NotOpened, SetupFailed };
    enum class WaitResult { Ready, TimedOut, Failed, Interrupted };

    virtual ~SerialDevice() = default;

    // Opens the port named "COM1".."COM4" for this process alone and sets
    // the line up (19200 baud, 8N1, binary, DTR and RTS off). A port that
    // another program holds is NotOpened. SetupFailed leaves the device open.
    virtual OpenResult open(const std::string &portName) = 0;
    // The platform's error code (errno, GetLastError) of the latest open
    // that failed, 0 after one that succeeded.
    virtual int lastError() const = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Bytes waiting in the input queue; negative when the device failed.
    virtual int inputCount() = 0;
    // Reads up to `size` waiting bytes without blocking; negative on failure.
    virtual int read(uint8_t *buffer, int size) = 0;
    // Writes one byte, blocking at most until `deadline`; returns the number
    // of bytes written (0 or 1), negative on failure.
    virtual int writeByte(uint8_t byte, SteadyClock::time_point deadline) = 0;
    // Blocks until input is waiting, the deadline passes, the device fails
    // (unplugged) or interrupt() is called.
    virtual WaitResult waitReadable(SteadyClock::time_point deadline) = 0;
    // Makes every present and future wait return Interrupted at once.
    // Safe to call from any thread.
    virtual void interrupt() = 0;
    // Makes the wait in progress, or else the next one, return Interrupted
    // once; the next open() forgets a cancellation nothing waited for.
    // Safe to call from any thread.
    virtual void cancelWait() = 0;
};

std::unique_ptr<SerialDevice> makePlatformSerialDevice();

} // namespace trutina
