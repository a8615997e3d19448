// A pseudo-terminal pair for tests: the far end stays with the test, the
// near end's path is what a program opens as its serial port.
#pragma once

#include <QString>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

class PseudoTerminal {
public:
    PseudoTerminal() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            path_ = QString::fromLocal8Bit(::ptsname(master_));
    }
    ~PseudoTerminal()
    {
        if (master_ >= 0)
            ::close(master_);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Empty when the pair could not be made.
    const QString &path() const { return path_; }

private:
    int master_;
    QString path_;
};
