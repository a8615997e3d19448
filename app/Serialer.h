// The main window of PONDUS: settings and commands on the left, the table of
// measurements and the chart of the latest ones on the right.
#pragma once

#include "MeasurementTable.h"
#include "ReadingSource.h"
#include "RunState.h"
#include "ValueFormat.h"
#include "ui/MainFormLayout.h"

#include <QMainWindow>
#include <QString>

#include <functional>

class TMainForm final : public QMainWindow {
    Q_OBJECT
public:
    using MessageSink = std::function<void(const QString &)>;

    explicit TMainForm(ReadingSource &source, QWidget *parent = nullptr);
    // Writes the settings back (FormDestroy).
    ~TMainForm() override;

    RunState &runState() { return state_; }
    const MeasurementTable &table() const { return *table_; }
    const QString &settingsPath() const { return settingsPath_; }
    // Where messages to the operator go; information boxes unless replaced.
    void setMessageSink(MessageSink sink) { inform_ = std::move(sink); }

public slots:
    void FormCreate();
    void FormDestroy();
    // One poll: fetch the readings, refresh headers and titles, and record a
    // measurement when every balance has a new reading and the mode admits it.
    void Timer2Timer();
    // "Закрыть" in the notification area's menu: ends the program.
    void N2Click();

private:
    void readSettings();
    void writeSettings();
    void colourMaxDif();
    QList<QWidget *> settingsControls() const;
    void showIdleControls();
    bool isChecked(int item) const;
    int checkedCount() const;
    int balancesInWindow() const;

    // Steps of the poll.
    bool uncheckBalancesBeyondLine();
    void writeHeaders(int balances);
    bool everyBalanceHasNewReading(int balances) const;
    bool measurementDue(int balances) const;
    void recordMeasurement(int balances, const QDateTime &stamp);
    void chartBalance(int j, int column);

    ReadingSource &source_;
    ReadingsBlock block_;
    ValueFormat format_;
    MainFormLayout ui_;
    MeasurementTable *table_ = nullptr;
    RunState state_;
    QString settingsPath_ = QStringLiteral("PONDUS.ini");
    MessageSink inform_;
};
