// The clear question's controls and what its answers set.
#include "mainform/Askunit.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TAskForm::TAskForm(bool &askAnswer, bool &askClosed, QWidget *parent) : QDialog(parent), askAnswer_(askAnswer), askClosed_(askClosed)
{
    setObjectName(QStringLiteral("AskForm"));
    setWindowTitle(QStringLiteral("Очиститка окна"));
    setModal(false);
    const auto named = [](auto *widget, const char *name) {
        widget->setObjectName(QLatin1String(name));
        return widget;
    };
    auto *panel = named(new QFrame(this), "Panel1");
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Raised);
    auto *question = named(new QLabel(QStringLiteral("Вы хотите изменить поля записи."), panel), "Label1");
    auto *clear = named(new QLabel(QStringLiteral("Очистить окно?"), panel), "Label2");
    auto *yes = named(new QPushButton(QStringLiteral("Да"), panel), "OKButton");
    noButton_ = named(new QPushButton(QStringLiteral("Нет"), panel), "NOButton");
    // Enter must not wipe the table: "Нет" is the answer a key press gives.
    noButton_->setDefault(true);

    auto *grid = new QGridLayout(panel);
    grid->addWidget(question, 0, 0, 1, 2);
    grid->addWidget(clear, 1, 0, 1, 2, Qt::AlignHCenter);
    grid->addWidget(yes, 2, 0);
    grid->addWidget(noButton_, 2, 1);
    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(panel);
    // Sized to its content, as a question should be.
    box->setSizeConstraint(QLayout::SetFixedSize);

    connect(yes, &QPushButton::clicked, this, &TAskForm::OKButtonClick);
    connect(noButton_, &QPushButton::clicked, this, &TAskForm::NOButtonClick);
}

void TAskForm::OKButtonClick()
{
    askAnswer_ = true;
    close();
}

void TAskForm::NOButtonClick()
{
    askAnswer_ = false;
    close();
}

void TAskForm::FormClose()
{
    askClosed_ = true;
}

void TAskForm::ask()
{
    askClosed_ = false;
    show();
    raise();
    activateWindow();
    noButton_->setFocus();
}

void TAskForm::done(int result)
{
    // The close box and Escape reach here through reject(), the buttons
    // through close().
    QDialog::done(result);
    FormClose();
}
