// "Причина изменения": the short question for why the operator changes a
// record while the lab audits changes ([Audit] Enabled=1).
#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

// Asks why, telling what is about to change; nothing when the operator
// cancelled, else the reason, trimmed and never empty.
using ReasonAsker = std::function<std::optional<QString>(const QString &what)>;

// The window's own dialog, modal to parent.
ReasonAsker reasonDialog(QWidget *parent);
