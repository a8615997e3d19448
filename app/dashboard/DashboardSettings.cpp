#include "dashboard/DashboardSettings.h"

#include <charconv>

std::optional<ListenAddress> parseListenAddress(std::string_view text)
{
    ListenAddress listen{"127.0.0.1", 0};
    std::string_view portText = text;
    if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view host = text.substr(0, colon);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        if (host.empty())
            return std::nullopt;
        listen.address = std::string(host);
        portText = text.substr(colon + 1);
    }
    int port = 0;
    const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (error != std::errc() || end != portText.data() + portText.size() || port < 1 || port > 65535)
        return std::nullopt;
    listen.port = port;
    return listen;
}

std::string dashboardSettingsProblem(const DashboardSettings &settings)
{
    if (settings.needsLogin() && settings.user.empty())
        return "HTTP: к файлу пароля нужно имя пользователя (--http-user, [Dashboard] User)";
    if (!settings.user.empty() && !settings.needsLogin())
        return "HTTP: к имени пользователя нужен файл пароля (--http-password-file, [Dashboard] PasswordFile)";
    if (settings.certFile.empty() != settings.keyFile.empty())
        return "HTTP: для TLS нужны и сертификат, и ключ (--http-cert, --http-key)";
    return {};
}
