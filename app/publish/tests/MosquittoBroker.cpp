#include "MosquittoBroker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

int freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

namespace {

bool acceptsConnections(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(uint16_t(port));
    const bool accepted = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return accepted;
}

} // namespace

bool runCommand(const std::string &command)
{
    return std::system(command.c_str()) == 0;
}

MosquittoBroker::MosquittoBroker(BrokerOptions options) : options_(std::move(options))
{
    std::string pattern = (std::filesystem::temp_directory_path() / "pondus-broker-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    port_ = freeLoopbackPort();
    writeConfiguration();
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

void MosquittoBroker::writeConfiguration()
{
    std::ofstream conf(folder_ + "/mosquitto.conf");
    conf << "listener " << port_ << " 127.0.0.1\n"
         << "user root\n" // as root it would otherwise switch to a user that cannot read this folder
         << "persistence true\n"
         << "persistence_location " << folder_ << "/\n"
         << "autosave_interval 1\n" // as the README advises: a killed broker keeps all but its last second
         << "max_queued_messages 100000\n"
         << "log_dest file " << folder_ << "/broker.log\n";
    if (options_.user.empty()) {
        conf << "allow_anonymous true\n";
    } else {
        runCommand("mosquitto_passwd -b -c " + folder_ + "/passwords " + options_.user + " " + options_.password);
        conf << "allow_anonymous false\npassword_file " << folder_ << "/passwords\n";
    }
    if (options_.tls) {
        const std::string f = folder_;
        runCommand("cd " + f + " && openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=test-ca"
                   " -keyout ca.key -out ca.crt >/dev/null 2>&1"
                   " && openssl req -newkey rsa:2048 -nodes -subj /CN=localhost -keyout server.key"
                   " -out server.csr >/dev/null 2>&1"
                   " && printf 'subjectAltName=DNS:localhost,IP:127.0.0.1' > san.ext"
                   " && openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2"
                   " -extfile san.ext -out server.crt >/dev/null 2>&1");
        conf << "cafile " << f << "/ca.crt\ncertfile " << f << "/server.crt\nkeyfile " << f << "/server.key\n";
    }
}

MqttSettings MosquittoBroker::clientSettings(const std::string &prefix) const
{
    MqttSettings settings;
    settings.enabled = true;
    settings.host = "127.0.0.1";
    settings.port = port_;
    settings.topicPrefix = prefix;
    return settings;
}

std::string MosquittoBroker::passwordFile(const std::string &text) const
{
    const std::string path = folder_ + "/client-password";
    std::ofstream(path) << text << '\n';
    return path;
}

bool MosquittoBroker::start()
{
    const std::string conf = folder_ + "/mosquitto.conf";
    pid_ = ::fork();
    if (pid_ == 0) {
        ::execlp("mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    // Polled with a bound: the broker offers no other sign of readiness.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (acceptsConnections(port_))
            return true;
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
            pid_ = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void MosquittoBroker::stop()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}
