// The dialog of the reason: "OK" waits for a reason to be written.
#include "mainform/ReasonDialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

ReasonAsker reasonDialog(QWidget *parent)
{
    return [window = QPointer<QWidget>(parent)](const QString &what) -> std::optional<QString> {
        QDialog dialog(window);
        dialog.setObjectName(QStringLiteral("ReasonDialog"));
        dialog.setWindowTitle(QStringLiteral("Причина изменения"));
        auto *told = new QLabel(what, &dialog);
        told->setWordWrap(true);
        auto *reason = new QLineEdit(&dialog);
        reason->setObjectName(QStringLiteral("Reason"));
        reason->setPlaceholderText(QStringLiteral("Почему вносится изменение"));
        reason->setMaxLength(500);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
        QPushButton *ok = buttons->button(QDialogButtonBox::Ok);
        ok->setEnabled(false);
        QObject::connect(reason, &QLineEdit::textChanged, ok,
                         [ok](const QString &text) { ok->setEnabled(!text.trimmed().isEmpty()); });
        QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
        auto *layout = new QVBoxLayout(&dialog);
        layout->addWidget(told);
        layout->addWidget(new QLabel(QStringLiteral("Причина:"), &dialog));
        layout->addWidget(reason);
        layout->addWidget(buttons);
        dialog.setMinimumWidth(420);
        if (dialog.exec() != QDialog::Accepted || reason->text().trimmed().isEmpty())
            return std::nullopt;
        return reason->text().trimmed();
    };
}
