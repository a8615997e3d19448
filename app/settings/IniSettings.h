// One section of an INI file, read and written with SimpleIni so that other
// sections, keys and comments of the file survive a rewrite.
#pragma once

#include <QString>

#include <memory>

class IniSettings {
public:
    explicit IniSettings(const QString &section);
    ~IniSettings();
    IniSettings(const IniSettings &) = delete;
    IniSettings &operator=(const IniSettings &) = delete;

    // Reads the file, with LF or CRLF line ends. A file that is not valid
    // UTF-8 was written on a Windows system and is read as Windows-1251.
    bool load(const QString &path);
    // Writes the whole file in UTF-8, replacing it only once it is complete.
    bool save(const QString &path) const;

    QString text(const char *key, const QString &fallback) const;
    // Booleans are whole numbers, any non-zero one meaning true; a value that
    // is not a whole number counts as missing.
    bool flag(const char *key, bool fallback) const;

    void setText(const char *key, const QString &value);
    void setFlag(const char *key, bool value);

private:
    struct Store;
    std::unique_ptr<Store> store_;
    QByteArray section_;
};
