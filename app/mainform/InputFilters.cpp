// What the typed fields of the main window let through: numbers only, and
// no typing at all in the port selector, whose entries come from its list.
#include "mainform/Serialer.h"

#include <QComboBox>
#include <QLineEdit>

namespace {

const QString positiveNumberPlease = QStringLiteral("Введите пожалуйста положительное число");

bool isDigit(QChar key)
{
    return key >= QLatin1Char('0') && key <= QLatin1Char('9');
}

} // namespace

void TMainForm::ComCBKeyPress(QChar &key)
{
    key = QChar(0);
    beep_();
}

void TMainForm::MaxDifKeyPress(QChar &key)
{
    if (isDigit(key))
        return;
    key = QChar(0);
    beep_();
    inform_(positiveNumberPlease);
}

void TMainForm::SizeEditKeyPress(QChar &key)
{
    if (isDigit(key))
        return;
    key = QChar(0);
    beep_();
    ui_.SizeEdit->setFocus();
}

void TMainForm::ComboBox1KeyPress(QChar &key)
{
    // The comma is the decimal separator of the period list's entries.
    if (isDigit(key) || key == QLatin1Char(','))
        return;
    key = QChar(0);
    beep_();
    ui_.ComboBox1->setFocus();
    inform_(positiveNumberPlease);
}
