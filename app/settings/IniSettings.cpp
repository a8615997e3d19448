#include "settings/IniSettings.h"

#include <SimpleIni.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>

struct IniSettings::Store {
    // UTF-8 text; repeated keys kept while loading, so that the first wins.
    CSimpleIniA ini{true, true};
};

namespace {

QByteArray asUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (utf8.hasError()) {
        QStringDecoder windows1251("Windows-1251");
        text = windows1251(bytes);
    }
    return text.toUtf8();
}

// Text whose first line that is not blank or a comment opens a section. No
// control characters but line ends and tabs: binary data and UTF-16 have them.
bool holdsSections(QByteArray bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    for (const QByteArray &line : bytes.split('\n')) {
        const QByteArray content = line.trimmed();
        if (content.isEmpty() || content.startsWith(';') || content.startsWith('#'))
            continue;
        return content.startsWith('[') && content.endsWith(']');
    }
    return false;
}

// The bytes of a regular file of a sane size; nothing for anything else.
// The type is looked at before opening, as opening a FIFO would block.
std::optional<QByteArray> readRegularFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > IniSettings::largestFile)
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(IniSettings::largestFile + 1);
    if (file.error() != QFileDevice::NoError || bytes.size() > IniSettings::largestFile)
        return std::nullopt;
    return bytes;
}

struct SettingsFile {
    QString path; // the link's target when the settings path is a link
    bool exists = false;
    QByteArray bytes;
};

// The settings file that stands at a path, or nothing when what stands there
// may be neither read nor replaced as one.
std::optional<SettingsFile> settingsFileAt(const QString &path)
{
    const QFileInfo info(path);
    // A link is followed only to settings: a link elsewhere must not make
    // the program overwrite whatever file it names.
    const bool link = info.isSymLink();
    if (!link && !info.exists())
        return SettingsFile{path, false, {}};
    const QString target = link ? info.canonicalFilePath() : path;
    std::optional<QByteArray> bytes = target.isEmpty() ? std::nullopt : readRegularFile(target);
    if (!bytes || !((!link && bytes->trimmed().isEmpty()) || holdsSections(*bytes)))
        return std::nullopt;
    return SettingsFile{target, true, std::move(*bytes)};
}

// Leaves one value per key, the first in the file.
void keepFirstOfRepeatedKeys(CSimpleIniA &ini)
{
    CSimpleIniA::TNamesDepend sections;
    ini.GetAllSections(sections);
    for (const auto &sectionEntry : sections) {
        const std::string section = sectionEntry.pItem;
        CSimpleIniA::TNamesDepend keys;
        ini.GetAllKeys(section.c_str(), keys);
        for (const auto &keyEntry : keys) {
            const std::string key = keyEntry.pItem;
            CSimpleIniA::TNamesDepend values;
            ini.GetAllValues(section.c_str(), key.c_str(), values);
            if (values.size() < 2)
                continue;
            values.sort(CSimpleIniA::Entry::LoadOrder());
            const std::string first = values.front().pItem;
            ini.SetValue(section.c_str(), key.c_str(), first.c_str(), nullptr, true);
        }
    }
}

// The replacement gets the mode and owner of the file it replaces, so that a
// read-only file stays read-only and a user's file stays the user's.
void keepModeAndOwner(const QSaveFile &replacement, const QString &replaced)
{
    struct stat original {};
    if (::stat(QFile::encodeName(replaced).constData(), &original) != 0)
        return;
    // Only the superuser may give a file away; for others it is theirs
    // already, and a refusal changes nothing.
    (void)!::fchown(replacement.handle(), original.st_uid, original.st_gid);
    (void)!::fchmod(replacement.handle(), original.st_mode & 07777);
}

} // namespace

IniSettings::IniSettings(const QString &section)
    : store_(std::make_unique<Store>()), section_(section.toUtf8())
{
    // key=value as Windows writes it, without blanks around the sign.
    store_->ini.SetSpaces(false);
}

IniSettings::~IniSettings() = default;

bool IniSettings::load(const QString &path)
{
    const std::optional<SettingsFile> file = settingsFileAt(path);
    if (!file)
        return false;
    store_->ini.Reset();
    const QByteArray bytes = asUtf8(file->bytes);
    if (store_->ini.LoadData(bytes.constData(), size_t(bytes.size())) < 0)
        return false;
    keepFirstOfRepeatedKeys(store_->ini);
    return true;
}

bool IniSettings::save(const QString &path) const
{
    const std::optional<SettingsFile> target = settingsFileAt(path);
    if (!target)
        return false;
    std::string text;
    if (store_->ini.Save(text) < 0)
        return false;
    QSaveFile file(target->path);
    file.setDirectWriteFallback(true);
    // Unbuffered: a short write (a full disk) must fail here, not go
    // unnoticed while committing.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        file.cancelWriting();
        return false;
    }
    if (target->exists)
        keepModeAndOwner(file, target->path);
    return file.commit();
}

QString IniSettings::text(const char *key, const QString &fallback) const
{
    const char *value = store_->ini.GetValue(section_.constData(), key);
    return value ? QString::fromUtf8(value) : fallback;
}

bool IniSettings::flag(const char *key, bool fallback) const
{
    bool isNumber = false;
    const int value = text(key, QString()).trimmed().toInt(&isNumber);
    return isNumber ? value != 0 : fallback;
}

void IniSettings::setText(const char *key, const QString &value)
{
    // One value in place of all the file had, where the first one stood.
    store_->ini.SetValue(section_.constData(), key, value.toUtf8().constData(), nullptr, true);
}

void IniSettings::setFlag(const char *key, bool value)
{
    setText(key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
