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
#include <QLocale>
#include <QMessageBox>

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
        QObject::connect(&quitSignals, &QuitOnSignals::quitRequested, &form, &TMainForm::N2Click);
        // The end of the desktop session closes the program like "Закрыть".
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &form, &TMainForm::N2Click,
                         Qt::QueuedConnection);
        JournalKeeper journal(form, JournalSettings::read(form.settingsPath()), JournalKeeper::noticeBox(&form),
                              JournalKeeper::questionBox(&form));
        // After the journal: its hooks commit a row before the publisher
        // reads it back from the journal file.
        publishWhenConfigured(form);
        form.show();
        journal.recover();
        return QApplication::exec();
    } catch (const std::exception &error) {
        QMessageBox::critical(nullptr, QStringLiteral("PONDUS"), QString::fromLocal8Bit(error.what()));
        return 1;
    }
}
