// The program's own window for ReadMe.txt, for a desktop that has no program
// to open a text file with: the text, read-only, and "Закрыть".
#pragma once

#include <QDialog>

#include <optional>

class QPlainTextEdit;

class HelpViewer final : public QDialog {
    Q_OBJECT
public:
    // The help is small; a larger file at its name is shown up to here.
    static constexpr qint64 largestShown = 4 * 1024 * 1024;

    explicit HelpViewer(QWidget *parent = nullptr);

    // Shows the file (UTF-8); the system's reason when it cannot be read.
    std::optional<QString> showFile(const QString &path);

private:
    QPlainTextEdit *text_ = nullptr;
};
