#include "settings/IniSettings.h"

#include <SimpleIni.h>

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

struct IniSettings::Store {
    CSimpleIniA ini{true};
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
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = asUtf8(file.readAll());
    store_->ini.Reset();
    return store_->ini.LoadData(bytes.constData(), size_t(bytes.size())) >= 0;
}

bool IniSettings::save(const QString &path) const
{
    std::string text;
    if (store_->ini.Save(text) < 0)
        return false;
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    // Unbuffered: a short write (a full disk) must fail here, not go
    // unnoticed while committing.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(text.data(), qint64(text.size())) != qint64(text.size())) {
        file.cancelWriting();
        return false;
    }
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
    store_->ini.SetValue(section_.constData(), key, value.toUtf8().constData());
}

void IniSettings::setFlag(const char *key, bool value)
{
    setText(key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
