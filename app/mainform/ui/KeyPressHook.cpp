#include "KeyPressHook.h"

#include <QKeyEvent>
#include <QWidget>

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

} // namespace

void installKeyPressHook(QWidget *control, std::function<void(QChar &key)> handler)
{
    new KeyPressHook(control, std::move(handler));
}
