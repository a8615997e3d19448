#include "mainform/HelpFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QStringList helpFolders()
{
    QStringList folders{QDir::currentPath(), QCoreApplication::applicationDirPath()};
    folders.append(QStringLiteral(PONDUS_DOC_DIR));
    folders.removeDuplicates();
    return folders;
}

QString findHelpFile(const QStringList &folders)
{
    for (const QString &folder : folders) {
        const QString help = QDir(folder).absoluteFilePath(helpFileName);
        if (QFileInfo(help).isFile())
            return help;
    }
    return {};
}
