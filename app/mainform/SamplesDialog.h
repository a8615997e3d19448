// "Образцы": the name of the sample on each balance position, when a sample
// counts as having reached constant mass, and whether a run then stops by
// itself. Saved in [Samples] and [Experiment] of the settings file.
#pragma once

#include "settings/SampleSettings.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QLineEdit;
class QLabel;

class SamplesDialog final : public QDialog {
    Q_OBJECT
public:
    SamplesDialog(const SampleSettings &settings, QWidget *parent);

    // What the fields say, over the settings it was opened with.
    SampleSettings chosen() const;

    void accept() override;

private:
    SampleSettings settings_;
    std::array<QLineEdit *, SampleSettings::positions> names_{};
    QLineEdit *criterion_ = nullptr;
    QLabel *criterionProblem_ = nullptr;
    QCheckBox *stopWhenConstant_ = nullptr;
};
