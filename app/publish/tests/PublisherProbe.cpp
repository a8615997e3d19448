// A publisher in a process of its own, for the test that kills it: connects
// to the broker on port argv[1] under prefix argv[2], says "online" with the
// link state and waits to be killed.
#include "publish/MemoryBacklog.h"
#include "publish/MqttPublisher.h"

#include <csignal>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    MqttSettings settings;
    settings.enabled = true;
    settings.host = "127.0.0.1";
    settings.port = std::atoi(argv[1]);
    MemoryBacklog backlog(100);
    MqttPublisher publisher(settings, {argv[2], "probe-pc", "COM1"}, backlog, {});
    publisher.setLink("OnLine");
    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
