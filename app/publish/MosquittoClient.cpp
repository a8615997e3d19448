#include "publish/MosquittoClient.h"

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The library is set up once for the process and left set up: clients may
// come and go on several threads.
void initialiseLibraryOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// Why a file the client is to read cannot be, in the system's words; empty
// when it can. Opened without waiting: a FIFO would hold the program.
std::string unreadable(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::strerror(errno);
    struct stat status {};
    const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    ::close(fd);
    return regular ? std::string() : "not a regular file";
}

bool readPassword(const std::string &path, std::string &password, std::string &error)
{
    // Opened only once known to be a plain file: opening a named pipe would
    // wait for a writer and freeze the start.
    std::string why = unreadable(path);
    std::ifstream file;
    if (why.empty() && (file.open(path), !file))
        why = std::strerror(errno);
    if (!why.empty()) {
        error = "MQTT: не удалось открыть файл пароля " + path + ": " + why;
        return false;
    }
    std::getline(file, password);
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return true;
}

} // namespace

void MosquittoDeleter::operator()(mosquitto *client) const
{
    mosquitto_destroy(client);
}

MosquittoHandle makeMosquittoClient(const MqttSettings &settings, const std::string &clientId,
                                    bool cleanSession, void *userData, std::string &error)
{
    const auto failed = [&error](const std::string &why) {
        error = "MQTT: " + why;
        return nullptr;
    };
    initialiseLibraryOnce();
    MosquittoHandle client(mosquitto_new(clientId.c_str(), cleanSession, userData));
    if (!client)
        return failed("не удалось создать клиента: " + std::string(std::strerror(errno)));
    if (!settings.user.empty()) {
        std::string password;
        if (!settings.passwordFile.empty() && !readPassword(settings.passwordFile, password, error))
            return nullptr;
        const int rc = mosquitto_username_pw_set(client.get(), settings.user.c_str(),
                                                 settings.passwordFile.empty() ? nullptr : password.c_str());
        // The library keeps its own copy.
        std::fill(password.begin(), password.end(), '\0');
        if (rc != MOSQ_ERR_SUCCESS)
            return failed("имя пользователя не принято: " + libraryProblem(rc));
    }
    if (!settings.caFile.empty()) {
        // The library names any failure of its own check with one generic text.
        if (const std::string why = unreadable(settings.caFile); !why.empty())
            return failed("не удалось открыть файл CA " + settings.caFile + ": " + why);
        const int rc = mosquitto_tls_set(client.get(), settings.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return failed("TLS с файлом CA " + settings.caFile + " не настроен: " + libraryProblem(rc));
    }
    return client;
}

std::string brokerName(const MqttSettings &settings)
{
    return settings.host + ':' + std::to_string(settings.port);
}

std::string connectRefusal(int code, const MqttSettings &settings)
{
    const std::string broker = "MQTT: брокер " + brokerName(settings);
    if (code == 4 || code == 5) {
        const std::string user = settings.user.empty() ? "без имени пользователя" : "«" + settings.user + "»";
        return broker + " отказал во входе (" + user + "): неверное имя пользователя или пароль";
    }
    return broker + " отказал в соединении: " + mosquitto_connack_string(code);
}

std::string libraryProblem(int code)
{
    if (code == MOSQ_ERR_ERRNO)
        return std::strerror(errno);
    return mosquitto_strerror(code);
}
