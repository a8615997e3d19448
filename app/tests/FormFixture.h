// Runs a main window in a fresh current directory and collects the
// messages and beeps it would give the operator.
#pragma once

#include "mainform/Serialer.h"

#include <QAbstractButton>
#include <QChartView>
#include <QComboBox>
#include <QDir>
#include <QLineSeries>
#include <QListWidget>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

class FormFixture {
public:
    // Starts the window with PONDUS.ini holding settingsFile, or without one.
    explicit FormFixture(ReadingSource &source, std::optional<QByteArray> settingsFile = std::nullopt)
        : previousDir_(QDir::currentPath())
    {
        QDir::setCurrent(dir_.path());
        if (settingsFile)
            writeFile(*settingsFile);
        form_ = std::make_unique<TMainForm>(source);
        form_->setMessageSink([this](const QString &text) { messages.append(text); });
        form_->setBeepSink([this] { ++beeps; });
    }
    ~FormFixture()
    {
        form_.reset();
        QDir::setCurrent(previousDir_);
    }

    TMainForm &form() { return *form_; }
    // Destroys the window, which writes its settings.
    void close() { form_.reset(); }
    QString dirPath() const { return dir_.path(); }
    QString settingsFile() const { return QDir(dir_.path()).filePath(QStringLiteral("PONDUS.ini")); }
    void writeFile(const QByteArray &bytes) const
    {
        QFile file(settingsFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readFile() const
    {
        QFile file(settingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    template <class Widget>
    Widget *control(const char *name)
    {
        auto *widget = form_->findChild<Widget *>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no control %s", name);
        return widget;
    }
    // The chart's series live in its graphics scene, not among the window's children.
    QLineSeries *series(int j)
    {
        const QString name = QStringLiteral("Series%1").arg(j);
        for (QAbstractSeries *series : control<QChartView>("Chart1")->chart()->series())
            if (series->objectName() == name)
                return qobject_cast<QLineSeries *>(series);
        qFatal("no series %d", j);
    }
    QListWidget *balanceList() { return control<QListWidget>("FileCheckListBox"); }
    bool checked(int item) { return balanceList()->item(item)->checkState() == Qt::Checked; }
    void check(std::initializer_list<int> items)
    {
        for (int item = 0; item < balanceList()->count(); ++item)
            balanceList()->item(item)->setCheckState(Qt::Unchecked);
        for (int item : items)
            balanceList()->item(item)->setCheckState(Qt::Checked);
    }

    // "Начать" as the operator presses it, the link on line; polled by hand
    // ("вручную") unless another period is given, so that only the test polls.
    void start(const QString &period = QStringLiteral("вручную"))
    {
        MainFormLayout::showText(control<QComboBox>("ComboBox1"), period);
        click("WeightButton");
        QVERIFY(form_->session().running());
    }
    RecordingHistory &history() { return form_->session().history(); }

    // Clicks a button as the operator would, whether it is on screen or not.
    void click(const char *button) { control<QAbstractButton>(button)->click(); }
    bool shown(const char *name) { return !control<QWidget>(name)->isHidden(); }
    bool enabled(const char *name) { return control<QWidget>(name)->isEnabled(); }

    QStringList messages;
    int beeps = 0;

private:
    QTemporaryDir dir_;
    QString previousDir_;
    std::unique_ptr<TMainForm> form_;
};
