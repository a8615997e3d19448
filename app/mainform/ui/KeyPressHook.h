// Hands each character typed into a control to a key-press handler before
// the control sees it; a handler refuses the character by setting it to 0.
// Keys that type no character (Delete, arrows, Tab, function keys) pass by.
#pragma once

#include <QChar>
#include <QObject>

#include <functional>

class QWidget;

class KeyPressHook final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(QChar &key)>;

    // The hook lives as long as the control.
    static void install(QWidget *control, Handler handler);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    KeyPressHook(QWidget *control, Handler handler);

    Handler handler_;
};
