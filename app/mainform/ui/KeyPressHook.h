// Hands each character typed into a control to a key-press handler before
// the control sees it; a handler refuses the character by setting it to 0.
// Keys that type no character (Delete, arrows, Tab, function keys) pass by.
#pragma once

#include <QChar>

#include <functional>

class QWidget;

// The hook lives as long as the control.
void installKeyPressHook(QWidget *control, std::function<void(QChar &key)> handler);
