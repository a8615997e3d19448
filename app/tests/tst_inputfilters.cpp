// The key filters of the typed fields, and "Справка".
#include "FakeReadingSource.h"
#include "FormFixture.h"
#include "mainform/HelpViewer.h"

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QUrl>
#include <QtTest>

class InputFiltersTest : public QObject {
    Q_OBJECT

public slots:
    // Stands in for the desktop's program for local files.
    void openFile(const QUrl &url) { opened.append(url); }

private:
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;
    QList<QUrl> opened;

    FormFixture &f() { return *fixture; }
    // The field of that name, emptied and enabled.
    QWidget *emptyField(const QString &name)
    {
        QWidget *field = f().control<QWidget>(qPrintable(name));
        field->setEnabled(true);
        if (auto *box = qobject_cast<QComboBox *>(field))
            box->lineEdit()->clear();
        else
            static_cast<QLineEdit *>(field)->clear();
        return field;
    }
    QString textOf(QWidget *field)
    {
        auto *box = qobject_cast<QComboBox *>(field);
        return box ? box->currentText() : static_cast<QLineEdit *>(field)->text();
    }

private slots:
    void init()
    {
        link = FakeReadingSource();
        fixture = std::make_unique<FormFixture>(link);
    }
    void cleanup() { fixture.reset(); }

    void typing_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("refused");
        QTest::newRow("MaxDif 12a") << "MaxDif" << "12a" << "12" << 1;
        QTest::newRow("SizeEdit -1x0") << "SizeEdit" << "-1x0" << "10" << 2;
        QTest::newRow("ComboBox1 0,5") << "ComboBox1" << "0,5" << "0,5" << 0;
        QTest::newRow("ComboBox1 0.5") << "ComboBox1" << "0.5" << "05" << 1;
        // Keys that type control characters.
        for (const char *field : {"MaxDif", "SizeEdit", "ComboBox1"}) {
            QTest::addRow("%s Backspace", field) << field << "12\b" << "12" << 1;
            QTest::addRow("%s Enter", field) << field << "12\r" << "12" << 1;
            QTest::addRow("%s Escape", field) << field << "1\x1b" << "1" << 1;
        }
    }
    void typing()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(int, refused);
        QWidget *target = emptyField(field);
        QTest::keyClicks(target, typed);
        QCOMPARE(textOf(target), kept);
        QCOMPARE(f().beeps, refused);
        // SizeEdit refuses without a word.
        const int told = field == QLatin1String("SizeEdit") ? 0 : refused;
        QCOMPARE(f().messages, QStringList(told, QStringLiteral("Введите пожалуйста положительное число")));
        if (refused && field != QLatin1String("MaxDif"))
            QCOMPARE(f().form().focusWidget(), target);
    }

    void keysThatTypeNoCharacterPass()
    {
        QWidget *size = emptyField(QStringLiteral("SizeEdit"));
        QTest::keyClicks(size, QStringLiteral("123"));
        QTest::keyClick(size, Qt::Key_Home);
        QTest::keyClick(size, Qt::Key_Delete);
        QCOMPARE(textOf(size), QStringLiteral("23"));
        // Ctrl+V types a control character: no paste.
        QTest::keyClick(size, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f().beeps, 1);
    }

    void portIsChosenFromTheListOnly()
    {
        auto *port = f().control<QComboBox>("ComCB");
        QTest::keyClicks(port, QStringLiteral("COM2"));
        QCOMPARE(port->currentText(), QStringLiteral("COM1"));
        QCOMPARE(f().beeps, 4);
        QTest::keyClick(port, Qt::Key_Down);
        QCOMPARE(port->currentText(), QStringLiteral("COM2"));
        QVERIFY(f().messages.isEmpty());
    }

    void helpOpensReadMeOfTheCurrentDirectory()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openFile");
        const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); });
        auto *help = f().form().findChild<QAction *>(QStringLiteral("N1"));
        help->trigger(); // none here: the one beside the program
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(
                             QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("ReadMe.txt")))});
        opened.clear();

        // As after saving into another folder: looked for where the program now is.
        QTemporaryDir elsewhere;
        QFile readMe(QDir(elsewhere.path()).filePath(QStringLiteral("ReadMe.txt")));
        QVERIFY(readMe.open(QIODevice::WriteOnly));
        readMe.close();
        QDir::setCurrent(elsewhere.path());
        help->trigger();
        QDir::setCurrent(f().dirPath());
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(readMe.fileName())});
    }

    void helpIsShownInTheProgramsOwnViewerWhenNoProgramOpensIt()
    {
        f().form().setDocumentOpener([](const QUrl &) { return false; });
        QTemporaryDir elsewhere;
        const QString readMe = QDir(elsewhere.path()).filePath(QStringLiteral("ReadMe.txt"));
        QVERIFY(QFile::copy(QFINDTESTDATA("../ReadMe.txt"), readMe));
        QDir::setCurrent(elsewhere.path());
        auto *help = f().form().findChild<QAction *>(QStringLiteral("N1"));
        help->trigger();
        help->trigger(); // again: the same window
        QVERIFY(f().messages.isEmpty());
        const auto viewers = f().form().findChildren<HelpViewer *>();
        QCOMPARE(viewers.size(), 1);
        QVERIFY(viewers[0]->isVisible());
        auto *text = viewers[0]->findChild<QPlainTextEdit *>(QStringLiteral("HelpText"));
        QVERIFY(text->isReadOnly());
        // Today's program: the ports window, the three file types, the
        // journal and its recovery, zooming out, the recorder without a window.
        for (const char *topic : {"«Порты…»", "(*.xls)", "(*.xlsx)", "(*.csv)", "journal.sqlite", "восстановить",
                                  "Уменьшение:", "pondus-log", "[Export]"})
            QVERIFY2(text->toPlainText().contains(QString::fromUtf8(topic)), topic);

        // A file that cannot be read is named with the system's reason.
        viewers[0]->close();
        QVERIFY(QFile::setPermissions(readMe, QFileDevice::Permissions()));
        if (QFile(readMe).open(QIODevice::ReadOnly))
            QSKIP("permissions do not bind this user");
        help->trigger();
        QDir::setCurrent(f().dirPath());
        QCOMPARE(f().messages.size(), 1);
        QVERIFY(f().messages[0].contains(readMe));
        QVERIFY2(f().messages[0].contains(QStringLiteral("Permission denied")) ||
                     f().messages[0].contains(QStringLiteral("Отказано")),
                 qPrintable(f().messages[0]));
    }
};

QTEST_MAIN(InputFiltersTest)
#include "tst_inputfilters.moc"
