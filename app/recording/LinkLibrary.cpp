#include "recording/LinkLibrary.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString libraryFileName = QStringLiteral("libtrutina.so");
}

LinkLibrary::LinkLibrary(const QString &programDir, const QString &installedDir)
{
    for (const QString &dir : {programDir, installedDir}) {
        const QString candidate = QDir(dir).filePath(libraryFileName);
        if (dir.isEmpty() || loaded() || !QFileInfo::exists(candidate))
            continue;
        library_.emplace(QFile::encodeName(candidate).toStdString());
    }
    if (!loaded())
        library_.emplace(QFile::encodeName(libraryFileName).toStdString());
}
