// What the typed fields of the main window let through: numbers only, and
// no typing at all in the port selector, whose entries come from its list.
#include "mainform/Serialer.h"

#include "mainform/ui/KeyPressHook.h"

#include <QComboBox>
#include <QLineEdit>

void TMainForm::filterKeys()
{
    // A refused character beeps; then the field takes the focus back, the
    // operator is told what it takes, both or neither.
    const auto refuseBut = [this](QWidget *field, const QString &allowed, bool refocus, bool tell) {
        installKeyPressHook(field, [=, this](QChar &key) {
            if (allowed.contains(key))
                return;
            key = QChar(0);
            beep_();
            if (refocus)
                field->setFocus();
            if (tell)
                inform_(QStringLiteral("Введите пожалуйста положительное число"));
        });
    };
    const QString digits = QStringLiteral("0123456789");
    refuseBut(ui_.ComCB, QString(), false, false);
    refuseBut(ui_.MaxDif, digits, false, true);
    refuseBut(ui_.SizeEdit, digits, true, false);
    // The comma is the decimal separator of the period list's entries.
    refuseBut(ui_.ComboBox1, digits + u',', true, true);
}
