// PONDUS: records the weights of the balances on one serial line in a table
// and a chart.
#include "CommandLineHelp.h"
#include "recording/LinkLibrary.h"
#include "mainform/JournalKeeper.h"
#include "mainform/QtTranslations.h"
#include "mainform/QuitOnSignals.h"
#include "mainform/Serialer.h"
#include "mainform/WindowPublishing.h"

#include <QApplication>
#include <QDialog>
#include <QLocale>
#include <QMessageBox>
#include <QTimer>

#include <exception>

int main(int argc, char *argv[])
{
    if (const auto exitCode = answerHelpOrVersion(argc, argv))
        return *exitCode;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("PONDUS"));
    installQtTranslations(app, QLocale::system());

    // Bound before any window exists; a missing library shows only when a
    // run is started. An installed program finds the installed library.
    LinkLibrary link(QCoreApplication::applicationDirPath(), QStringLiteral(PONDUS_LIBRARY_DIR));

    try {
        TMainForm form(link);
        QuitOnSignals quitSignals;
        // SIGTERM ends the program also while a dialog asks something: the
        // dialog closes unanswered, as if it had never been asked, and the
        // program closes once back in its main loop (a dialog's own loop may
        // run before the main loop has started).
        QObject::connect(&quitSignals, &QuitOnSignals::quitRequested, &form, [&form] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                dialog->done(QDialog::Rejected);
            QMetaObject::invokeMethod(&form, &TMainForm::N2Click, Qt::QueuedConnection);
        });
        // The end of the desktop session closes the program like "Закрыть".
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, &TMainForm::N2Click,
                         Qt::QueuedConnection);
        JournalKeeper journal(form, JournalSettings::read(form.settingsPath()), JournalKeeper::noticeBox(&form),
                              JournalKeeper::questionBox(&form));
        // After the journal: its hooks commit a row before the publisher
        // reads it back from the journal file.
        publishWhenConfigured(form);
        form.show();
        // Asked inside the event loop, so that a quit also ends the question.
        QTimer::singleShot(0, &form, [&journal] { journal.recover(); });
        return QApplication::exec();
    } catch (const std::exception &error) {
        QMessageBox::critical(nullptr, QStringLiteral("PONDUS"), QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
