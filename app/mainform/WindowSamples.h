// The window's samples: the menu item "Образцы…" with its dialog, the
// chart's choice of mass, Δm or Δm % on its context menu, a compact status
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
    // replaced.
    void setNotify(Notify notify) { notify_ = std::move(notify); }
    // "Образцы…": the dialog, saved when accepted.
    void editSamples();
    void chooseChart(ChartQuantity quantity);
    // The status bar's text of the samples.
    QString statusText() const;

private:
    void runStarted(const RunInfo &run) override;
    void massChanged(const SampleValues &values) override;
    void constantReached(const ConstantMassEvent &event) override;
    void showStatus();

    TMainForm &form_;
    Notify notify_;
    QLabel *status_ = nullptr;
    RunSettings run_;
    bool stopWhenConstant_ = false;
    std::vector<MassTrendValues> values_;          // slot by slot
    std::vector<std::optional<QString>> reachedAt_; // "чч:мм", slot by slot
};
