// Why a serial device cannot be used, found by trying it as the library
// would: open it for reading and writing, take its lock, read its line
// settings. Also who holds it, where /proc shows that.
#pragma once

#include <QString>

namespace pondus::ports {

struct PortProbe {
    enum class Outcome {
        Usable,       // opens, is free and is a terminal
        Missing,      // no such path
        NotPermitted, // the user may not open it
        Held,         // another program has it
        NotSerial,    // not a terminal device
        Failed        // any other refusal; see error
    };
    Outcome outcome = Outcome::Usable;
    QString group{};  // NotPermitted: the device's group as the system names it
    QString holder{}; // Held: "name (PID n)" when /proc shows the holder
    // Held, and the only holder is this very process: the library has it.
    bool heldByThisProcess = false;
    int error = 0; // Failed: the system's error number
};

// Tries the device at path; takes its lock only for the moment of the try.
PortProbe probePort(const QString &path);

} // namespace pondus::ports
