// The window's samples: the menu item "Образцы…" with its dialog, the
// chart's choice of mass, Δm or Δm % on its context menu, the table's
// context menu that takes a row as every sample's reference mass (for the
// run going on and the runs the table goes on with), a compact status
// of each balance's sample (change, drift, constant mass) in the status bar,
// the notification when a sample reaches constant mass, and the stop of a
// run once every sample has reached it when the operator asked for that.
#pragma once

#include "recording/SessionObserver.h"
#include "settings/SampleSettings.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QAction;
class QLabel;
class TMainForm;

class WindowSamples final : public QObject, private SessionObserver {
    Q_OBJECT
public:
    using Notify = std::function<void(const QString &title, const QString &text)>;

    // A child of the form, observing its session until destroyed; reads
    // the chart's choice from the settings file.
    explicit WindowSamples(TMainForm &form);
    ~WindowSamples() override;

    // Where "постоянная масса" is told; the notification area's icon unless
    // replaced, the window's status bar where the desktop has none.
    void setNotify(Notify notify) { notify_ = std::move(notify); }

private:
    void runStarted(const RunInfo &run) override;
    void massChanged(const SampleValues &values) override;
    void constantReached(const ConstantMassEvent &event) override;
    // The samples' line in the status bar, and each one a line in its tooltip.
    void showStatus();
    // The table's reference row into the session's trends, the chart and the status.
    void takeReference(int row);
    // A row of the table as the run's balances read it, in column order.
    RecordedRow tableRow(int row) const;

    TMainForm &form_;
    Notify notify_;
    QLabel *status_ = nullptr;
    QAction *pickReference_ = nullptr;
    RunSettings run_;
    bool stopWhenConstant_ = false;
    std::vector<MassTrendValues> values_;          // slot by slot
    std::vector<std::optional<QString>> reachedAt_; // "чч:мм", slot by slot
};
