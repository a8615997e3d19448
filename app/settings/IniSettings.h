// One section of an INI file, read and written with SimpleIni so that other
// sections, keys and comments of the file survive a rewrite.
//
// Only a settings file is ever read or replaced: a regular file of at most
// largestFile bytes that is empty or holds INI sections. Anything else that
// stands at the path (a text of another kind, binary data, a FIFO, a device,
// a link to any of these) is left untouched, whichever section asks.
#pragma once

#include <QString>

#include <memory>

class IniSettings {
public:
    static constexpr qint64 largestFile = 1024 * 1024;

    explicit IniSettings(const QString &section);
    ~IniSettings();
    IniSettings(const IniSettings &) = delete;
    IniSettings &operator=(const IniSettings &) = delete;

    // Reads the file, with LF or CRLF line ends. A file that is not valid
    // UTF-8 was written on a Windows system and is read as Windows-1251.
    // A missing file reads as empty. False, with nothing read, when what
    // stands at the path is not a settings file or cannot be read.
    bool load(const QString &path);
    // Writes the whole file in UTF-8, replacing it only once it is complete
    // and keeping its mode and owner. A link is followed only to a file that
    // holds INI sections. False, with nothing written, when what stands at
    // the path is not a settings file or the file cannot be written.
    bool save(const QString &path) const;

    // Of repeated keys the first one counts, as in the Windows INI functions.
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
