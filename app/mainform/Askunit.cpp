#include "mainform/Askunit.h"

#include <QPushButton>

TAskForm::TAskForm(bool &askAnswer, bool &askClosed, QWidget *parent)
    : QDialog(parent), askAnswer_(askAnswer), askClosed_(askClosed)
{
    setObjectName(QStringLiteral("AskForm"));
    ui_.setupUi(this);
    setModal(false);
    connect(ui_.OKButton, &QPushButton::clicked, this, &TAskForm::OKButtonClick);
    connect(ui_.NOButton, &QPushButton::clicked, this, &TAskForm::NOButtonClick);
}

void TAskForm::ask()
{
    askClosed_ = false;
    show();
    raise();
    activateWindow();
    ui_.NOButton->setFocus();
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

void TAskForm::done(int result)
{
    // The close box and Escape reach here through reject(), the buttons
    // through close().
    QDialog::done(result);
    FormClose();
}
