// The fields of "Образцы" and their check.
#include "mainform/SamplesDialog.h"

#include "recording/BalanceTexts.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

SamplesDialog::SamplesDialog(const SampleSettings &settings, QWidget *parent) : QDialog(parent), settings_(settings)
{
    setObjectName(QStringLiteral("SamplesDialog"));
    setWindowTitle(QStringLiteral("Образцы"));
    auto *form = new QFormLayout;
    for (int p = 1; p <= SampleSettings::positions; ++p) {
        QLineEdit *&name = names_[size_t(p - 1)];
        name = new QLineEdit(settings.nameAt(p), this);
        name->setObjectName(QStringLiteral("SampleName%1").arg(p));
        name->setPlaceholderText(QStringLiteral("нет образца"));
        form->addRow(balanceCaption(p) + QLatin1Char(':'), name);
    }
    criterion_ = new QLineEdit(constantMassCriterionText(settings.constantMass), this);
    criterion_->setObjectName(QStringLiteral("ConstantMass"));
    criterion_->setToolTip(QStringLiteral("Изменение не более чем на столько за столько: 0,1%/60m — на 0,1 % "
                                          "за 60 мин, 0,005g/30m — на 0,005 г за 30 мин"));
    form->addRow(QStringLiteral("Постоянная масса:"), criterion_);
    criterionProblem_ = new QLabel(this);
    criterionProblem_->setObjectName(QStringLiteral("ConstantMassProblem"));
    criterionProblem_->setStyleSheet(QStringLiteral("color: #b00020"));
    criterionProblem_->hide();
    form->addRow(QString(), criterionProblem_);
    stopWhenConstant_ = new QCheckBox(QStringLiteral("Остановить, когда все достигнут постоянной массы"), this);
    stopWhenConstant_->setObjectName(QStringLiteral("StopWhenConstant"));
    stopWhenConstant_->setChecked(settings.stopWhenConstant);
    form->addRow(stopWhenConstant_);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SamplesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SamplesDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

SampleSettings SamplesDialog::chosen() const
{
    SampleSettings chosen = settings_;
    for (int p = 1; p <= SampleSettings::positions; ++p)
        chosen.setName(p, names_[size_t(p - 1)]->text());
    if (const auto criterion = parseConstantMassCriterion(criterion_->text()))
        chosen.constantMass = *criterion;
    chosen.stopWhenConstant = stopWhenConstant_->isChecked();
    return chosen;
}

void SamplesDialog::accept()
{
    // A criterion that cannot be read keeps the dialog open, saying why.
    if (!parseConstantMassCriterion(criterion_->text())) {
        criterionProblem_->setText(QStringLiteral("Не понято: нужно изменение в % или в единице, косая черта и "
                                                  "время, например 0,1%/60m или 0,005g/30m"));
        criterionProblem_->show();
        criterion_->setFocus();
        return;
    }
    QDialog::accept();
}
