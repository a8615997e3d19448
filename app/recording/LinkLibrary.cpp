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
        if (dir.isEmpty() || library_.isLoaded() || !QFileInfo::exists(candidate))
            continue;
        library_.setFileName(candidate);
        library_.load();
    }
    if (!library_.isLoaded()) {
        library_.setFileName(libraryFileName);
        library_.load();
    }
    if (!library_.isLoaded())
        return;
    setComPort_ = reinterpret_cast<TrutinaSetComPortFn>(library_.resolve("SetComPort"));
    freshData_ = reinterpret_cast<TrutinaFreshDataFn>(library_.resolve("FreshData"));
}

void LinkLibrary::setComPort(int32_t port)
{
    if (setComPort_)
        setComPort_(port);
}

void LinkLibrary::freshData(ReadingsBlock &block)
{
    if (freshData_)
        freshData_(block.words.data());
}
