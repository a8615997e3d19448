// Where the help is found, and the program's own help window.
#include "mainform/HelpViewer.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

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

HelpViewer::HelpViewer(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HelpViewer"));
    // Read beside the main window, which stays usable.
    setModal(false);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("HelpText"));
    text_->setReadOnly(true);
    // The file is laid out in columns of fixed-width text, its examples too.
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setAccessibleName(QStringLiteral("Справка"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("Закрыть"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto *column = new QVBoxLayout(this);
    column->addWidget(text_, 1);
    column->addWidget(buttons);
    // Wide enough for the file's lines of about 76 characters.
    resize(text_->fontMetrics().horizontalAdvance(QLatin1Char('M')) * 84, 600);
}

std::optional<QString> HelpViewer::showFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    const QByteArray bytes = file.read(largestShown);
    if (bytes.isEmpty() && file.error() != QFileDevice::NoError)
        return file.errorString();
    text_->setPlainText(QString::fromUtf8(bytes));
    setWindowTitle(QStringLiteral("Справка — %1").arg(QDir::toNativeSeparators(path)));
    show();
    raise();
    activateWindow();
    return std::nullopt;
}
