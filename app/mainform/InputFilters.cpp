// What the typed fields of the main window let through: numbers only, and
// no typing at all in the port selector, whose entries come from its list.
#include "mainform/Serialer.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// The character a key stroke types, 0 when it types none. Backspace, Enter,
// Escape and Ctrl with a letter type their control characters.
QChar typedCharacter(const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Backspace:
        return QChar(0x08);
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QChar(0x0d);
    case Qt::Key_Escape:
        return QChar(0x1b);
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return QChar(0);
    default:
        break;
    }
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    // Alt chords choose menus; they type nothing.
    if (modifiers & (Qt::AltModifier | Qt::MetaModifier))
        return QChar(0);
    if ((modifiers & Qt::ControlModifier) && event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
        return QChar(event.key() - Qt::Key_A + 1);
    const QString text = event.text();
    return text.isEmpty() ? QChar(0) : text.front();
}

// Hands each character typed into a control to a key-press handler before
// the control sees it; a handler refuses the character by setting it to 0.
// Keys that type no character (Delete, arrows, Tab, function keys) pass by.
// The hook lives as long as the control.
class KeyPressHook final : public QObject {
public:
    KeyPressHook(QWidget *control, std::function<void(QChar &key)> handler)
        : QObject(control), handler_(std::move(handler))
    {
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        QChar key = typedCharacter(*static_cast<QKeyEvent *>(event));
        if (key.isNull())
            return false;
        handler_(key);
        return key.isNull();
    }

private:
    std::function<void(QChar &key)> handler_;
};

const QString digits = QStringLiteral("0123456789");

} // namespace

void TMainForm::refuseUnless(QChar &key, const QString &allowed, QWidget *refocus, bool tell)
{
    // A refused character beeps; then the field takes the focus back, the
    // operator is told what it takes, both or neither.
    if (allowed.contains(key))
        return;
    key = QChar(0);
    beep_();
    if (refocus)
        refocus->setFocus();
    if (tell)
        inform_(QStringLiteral("Введите пожалуйста положительное число"));
}

void TMainForm::ComCBKeyPress(QChar &key)
{
    refuseUnless(key, QString(), nullptr, false);
}

void TMainForm::MaxDifKeyPress(QChar &key)
{
    refuseUnless(key, digits, nullptr, true);
}

void TMainForm::SizeEditKeyPress(QChar &key)
{
    refuseUnless(key, digits, ui_.SizeEdit, false);
}

void TMainForm::ComboBox1KeyPress(QChar &key)
{
    // The comma is the decimal separator of the period list's entries.
    refuseUnless(key, digits + u',', ui_.ComboBox1, true);
}

void TMainForm::filterKeys()
{
    new KeyPressHook(ui_.ComCB, [this](QChar &key) { ComCBKeyPress(key); });
    new KeyPressHook(ui_.MaxDif, [this](QChar &key) { MaxDifKeyPress(key); });
    new KeyPressHook(ui_.SizeEdit, [this](QChar &key) { SizeEditKeyPress(key); });
    new KeyPressHook(ui_.ComboBox1, [this](QChar &key) { ComboBox1KeyPress(key); });
}
