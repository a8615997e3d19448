#include "AskFormLayout.h"

#include <QDialog>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

void AskFormLayout::setupUi(QDialog *form)
{
    form->setWindowTitle(QStringLiteral("Очиститка окна"));

    Panel1 = new QFrame(form);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setFrameShadow(QFrame::Raised);
    Label1 = new QLabel(QStringLiteral("Вы хотите изменить поля записи."), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label2 = new QLabel(QStringLiteral("Очистить окно?"), Panel1);
    Label2->setObjectName(QStringLiteral("Label2"));
    OKButton = new QPushButton(QStringLiteral("Да"), Panel1);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    NOButton = new QPushButton(QStringLiteral("Нет"), Panel1);
    NOButton->setObjectName(QStringLiteral("NOButton"));
    // Enter must not wipe the table: "Нет" is the answer a key press gives.
    NOButton->setDefault(true);

    auto *grid = new QGridLayout(Panel1);
    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(Label2, 1, 0, 1, 2, Qt::AlignHCenter);
    grid->addWidget(OKButton, 2, 0);
    grid->addWidget(NOButton, 2, 1);

    auto *box = new QVBoxLayout(form);
    box->setContentsMargins(0, 0, 0, 0);
    box->addWidget(Panel1);
    // Sized to its content, as a question should be.
    box->setSizeConstraint(QLayout::SetFixedSize);
}
