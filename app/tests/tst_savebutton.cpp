// "Сохранить в файл" on the main window: the file matches the grid, a
// cancelled dialog writes nothing, a failure is reported and changes nothing.
#include "export/ExportDialog.h"
#include "export/ExportTypeMemory.h"
#include "mainform/QtTranslations.h"
#include "FakeReadingSource.h"
#include "FormFixture.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

class SaveButtonTest : public QObject {
    Q_OBJECT

private:
    FakeReadingSource link;
    std::unique_ptr<FormFixture> fixture;
    QStringList errors;

    TMainForm &form() { return fixture->form(); }
    void recordMeasurements(int count)
    {
        link.setLink(TRUTINA_LINK_ONLINE, 2);
        fixture->check({0, 1});
        fixture->start();
        for (int n = 1; n <= count; ++n) {
            link.deliver(1, 125 * n, 1000, true, 205);
            link.deliver(2, -7 * n, 10, n % 2 == 0);
            form().Timer2Timer();
        }
        fixture->click("StopButton");
    }
    void save(const QString &path)
    {
        form().setSaveFileChooser([path] { return path; });
        fixture->click("ApplyButton1");
    }

private slots:
    void init()
    {
        link = FakeReadingSource();
        fixture = std::make_unique<FormFixture>(link);
        errors.clear();
        form().setErrorSink([this](const QString &text) { errors.append(text); });
    }
    void cleanup() { fixture.reset(); }

    void fileHoldsTheGridRowByRow()
    {
        recordMeasurements(5);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("run1.xls"));
        save(path);
        QVERIFY(errors.isEmpty());

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.endsWith("\t\r\n"));
        const QList<QByteArray> lines = bytes.left(bytes.size() - 2).split('\n');
        const MeasurementTable &table = form().table();
        QCOMPARE(lines.size(), table.rowCount());
        QCOMPARE(table.rowCount(), 3 + 5);
        for (int row = 0; row < table.rowCount(); ++row) {
            QByteArray line = lines[row];
            if (line.endsWith('\r'))
                line.chop(1);
            QVERIFY2(line.endsWith('\t'), qPrintable(QString::number(row)));
            line.chop(1);
            const QStringList cells = QString::fromUtf8(line).split(u'\t');
            QCOMPARE(cells.size(), table.columnCount());
            for (int column = 0; column < table.columnCount(); ++column)
                QCOMPARE(cells[column], table.cellText(row, column));
        }
        QCOMPARE(table.cellText(3, 3), QStringLiteral("0,125")); // as the grid shows it
    }

    void captionRowsComeFirstInTheFile()
    {
        link.setIdentity(1, 300, 123456);
        link.setIdentity(2, 404, 7);
        recordMeasurements(2);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("run.xls"));
        save(path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        const QStringList expected[] = {
            {"", "", "", "Весы №1", "", "Весы №2", "", ""},
            {"№", "Время", "Дата", "АВ-60", "", "ЛВ-12000", "", ""},
            {"", "", "", "123456", "", "7", "", ""},
        };
        for (int row = 0; row < 3; ++row)
            QCOMPARE(QString::fromUtf8(lines[row]).remove(u'\r').split(u'\t'), expected[row]);
        QVERIFY(QString::fromUtf8(lines[3]).startsWith(QStringLiteral("1\t")));
    }

    void rowsRecordedWhileTheDialogIsOpenStayOutOfTheFile()
    {
        link.setLink(TRUTINA_LINK_ONLINE, 2);
        fixture->check({0, 1});
        fixture->start();
        const auto measure = [&](int n) {
            link.deliver(1, n);
            link.deliver(2, n);
            form().Timer2Timer();
        };
        measure(1);
        measure(2);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("run.xls"));
        // The poll goes on while the operator names the file.
        form().setSaveFileChooser([&] {
            measure(3);
            return ExportTarget(path);
        });
        form().ApplyButton1Click();
        fixture->click("StopButton");
        QCOMPARE(form().table().measurementRows(), 3);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
        QCOMPARE(lines.size(), 3 + 2);
        QVERIFY(lines.last().startsWith("2\t"));
    }

    void dialogOffersTheTypeSavedLast()
    {
        recordMeasurements(1);
        QTemporaryDir folder;
        // Answers the dialog the window opens; the filter it offered first.
        const auto saveAs = [&](const QString &filter, const QString &name) {
            QString offered;
            QTimer::singleShot(0, &form(), [&] {
                auto *dialog = form().findChild<QFileDialog *>();
                QVERIFY(dialog);
                offered = dialog->selectedNameFilter();
                dialog->setDirectory(folder.path());
                if (!filter.isEmpty()) {
                    dialog->selectNameFilter(filter);
                    emit dialog->filterSelected(filter);
                }
                dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(name);
                QMetaObject::invokeMethod(dialog, "accept");
            });
            fixture->click("ApplyButton1");
            return offered;
        };
        QCOMPARE(saveAs(QStringLiteral("CSV (*.csv)"), QStringLiteral("first")), QStringLiteral("Excel (*.xls)"));
        QCOMPARE(saveAs(QString(), QStringLiteral("second")), QStringLiteral("CSV (*.csv)"));
        QVERIFY(QFile::exists(folder.filePath(QStringLiteral("second.csv"))));
        QCOMPARE(saveAs(QStringLiteral("Excel 2007+ (*.xlsx)"), QStringLiteral("third")), QStringLiteral("CSV (*.csv)"));
        QVERIFY(QFile::exists(folder.filePath(QStringLiteral("third.xlsx"))));
        QVERIFY(errors.isEmpty());
        fixture->close();
        const QByteArray settings = fixture->readFile();
        QVERIFY2(settings.contains("[Export]\nType=xlsx\n"), settings.constData());
        QVERIFY(settings.contains("[MainForm]"));
    }

    void keptTypeIsReadByItsSuffix_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("offered");
        QTest::newRow("none kept") << QByteArray("[MainForm]\nCOM=COM2\n") << "xls";
        QTest::newRow("workbook") << QByteArray("[Export]\nType=xlsx\n") << "xlsx";
        QTest::newRow("any case") << QByteArray("[Export]\nType= CSV\n") << "csv";
        QTest::newRow("no type offered") << QByteArray("[Export]\nType=doc\n") << "xls";
        QTest::newRow("no settings file") << QByteArray("\x7f""ELF\x01\x01") << "xls";
    }
    void keptTypeIsReadByItsSuffix()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, offered);
        QTemporaryDir folder;
        const QString ini = folder.filePath(QStringLiteral("PONDUS.ini"));
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(settings);
        file.close();
        QCOMPARE(rememberedExportType(ini).suffix(), offered);
        const bool settingsFile = !settings.startsWith('\x7f');
        QCOMPARE(rememberExportType(ini, *exportFormats()[2]), settingsFile);
        QCOMPARE(rememberedExportType(ini).suffix(), settingsFile ? QStringLiteral("csv") : offered);
    }

    void chosenFolderBecomesCurrentButSettingsStay()
    {
        const QString settings = form().settingsPath();
        QTemporaryDir folder;
        save(folder.filePath(QStringLiteral("out.xls")));
        QCOMPARE(QDir::currentPath(), QDir(folder.path()).canonicalPath());
        QCOMPARE(form().settingsPath(), settings);
        fixture->close();
        QVERIFY(QFile::exists(settings));
        QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("PONDUS.ini"))));
    }

    void cancelledDialogWritesNothing()
    {
        recordMeasurements(1);
        QTemporaryDir folder;
        const QString before = QDir::currentPath();
        save(QString());
        QVERIFY(QDir(folder.path()).entryList(QDir::Files).isEmpty());
        QCOMPARE(QDir::currentPath(), before);
        QVERIFY(errors.isEmpty());
    }

    void failureIsReportedAndTheTableStays()
    {
        recordMeasurements(3);
        QTemporaryDir folder;
        save(folder.filePath(QStringLiteral("missing/run.xls")));
        QCOMPARE(errors.size(), 1);
        QVERIFY(errors[0].contains(QStringLiteral("run.xls")));
        QCOMPARE(form().table().measurementRows(), 3);
    }

    void dialogOffersTheFormatsTabSeparatedFirst()
    {
        const auto dialog = makeExportDialog(&form());
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->nameFilters(), (QStringList{QStringLiteral("Excel (*.xls)"),
                                                    QStringLiteral("Excel 2007+ (*.xlsx)"),
                                                    QStringLiteral("CSV (*.csv)")}));
        QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("Excel (*.xls)"));
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("xls"));
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QVERIFY(dialog->selectedFiles().value(0, QString()).isEmpty() ||
                QFileInfo(dialog->selectedFiles().value(0)).isDir());
    }

    void nameWithoutExtensionGetsXls()
    {
        QTemporaryDir folder;
        const auto dialog = makeExportDialog(&form());
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setDirectory(folder.path());
        QTimer::singleShot(0, dialog.get(), [&] {
            auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(QStringLiteral("run1"));
            QMetaObject::invokeMethod(dialog.get(), "accept");
        });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QCOMPARE(dialog->selectedFiles().value(0), QDir(folder.path()).filePath(QStringLiteral("run1.xls")));
    }

    void chosenFilterGivesFormatAndSuffix()
    {
        QTemporaryDir folder;
        const auto dialog = makeExportDialog(&form());
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setDirectory(folder.path());
        QTimer::singleShot(0, dialog.get(), [&] {
            dialog->selectNameFilter(QStringLiteral("CSV (*.csv)"));
            emit dialog->filterSelected(QStringLiteral("CSV (*.csv)"));
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("run1"));
            QMetaObject::invokeMethod(dialog.get(), "accept");
        });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        const ExportTarget target = chosenTarget(*dialog);
        QCOMPARE(target.path, QDir(folder.path()).filePath(QStringLiteral("run1.csv")));
        QCOMPARE(target.format->suffix(), QStringLiteral("csv"));
    }

    void saveButtonWritesTheChosenFormat()
    {
        recordMeasurements(4);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("run.data"));
        form().setSaveFileChooser([&] { return ExportTarget(path, *exportFormats()[1]); });
        fixture->click("ApplyButton1");
        QVERIFY(errors.isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.read(2) == "PK"); // a zip container: the workbook
    }

    void qtDialogsSpeakTheDesktopsLanguage()
    {
        QVERIFY(installQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Russian, QLocale::Russia)));
        QCOMPARE(QCoreApplication::translate("QFileDialog", "Save As"), QStringLiteral("Сохранить как"));
        const auto dialog = makeExportDialog(&form());
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        QTimer::singleShot(0, dialog.get(), [&] { dialog->reject(); });
        dialog->exec();
        const auto *buttons = dialog->findChild<QDialogButtonBox *>();
        QVERIFY(buttons);
        QCOMPARE(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
        QVERIFY(!installQtTranslations(*QCoreApplication::instance(), QLocale(QLocale::Zulu)));
    }

    void existingFileIsKeptWhenOverwritingIsRefused()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("old.xls"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        const auto dialog = makeExportDialog(&form());
        dialog->setOption(QFileDialog::DontUseNativeDialog);
        dialog->setDirectory(folder.path());
        bool asked = false;
        QTimer::singleShot(0, dialog.get(), [&] {
            dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("old.xls"));
            // The question comes up inside accept(); answer it "No".
            QTimer::singleShot(0, dialog.get(), [&] {
                for (auto *question : dialog->findChildren<QMessageBox *>()) {
                    asked = true;
                    question->button(QMessageBox::No)->click();
                }
                QTimer::singleShot(0, dialog.get(), [&] { dialog->reject(); });
            });
            QMetaObject::invokeMethod(dialog.get(), "accept");
        });
        QCOMPARE(dialog->exec(), int(QDialog::Rejected));
        QVERIFY(asked);
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("old"));
    }
};

QTEST_MAIN(SaveButtonTest)
#include "tst_savebutton.moc"
