#include "mainform/QuitOnSignals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler may only write to a descriptor; the event loop reads the other end.
int wakeWriteFd = -1;
int wakeReadFd = -1;
constexpr std::array<int, 2> handledSignals = {SIGTERM, SIGINT};
std::array<struct sigaction, 2> previousActions{};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeWriteFd, &byte, 1);
}

} // namespace

QuitOnSignals::QuitOnSignals(QObject *parent) : QObject(parent)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0)
        return;
    wakeWriteFd = fds[0];
    wakeReadFd = fds[1];
    notifier_ = new QSocketNotifier(qintptr(wakeReadFd), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitOnSignals::drain);

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < handledSignals.size(); ++i)
        ::sigaction(handledSignals[i], &action, &previousActions[i]);
}

QuitOnSignals::~QuitOnSignals()
{
    if (!notifier_)
        return;
    for (size_t i = 0; i < handledSignals.size(); ++i)
        ::sigaction(handledSignals[i], &previousActions[i], nullptr);
    delete notifier_;
    ::close(wakeWriteFd);
    ::close(wakeReadFd);
    wakeWriteFd = wakeReadFd = -1;
}

void QuitOnSignals::drain()
{
    char bytes[16];
    while (::read(wakeReadFd, bytes, sizeof bytes) > 0) {
    }
    emit quitRequested();
}
