// The controls of the clear question and their arrangement.
#pragma once

class QDialog;
class QFrame;
class QLabel;
class QPushButton;

struct AskFormLayout {
    QFrame *Panel1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QPushButton *OKButton = nullptr;
    QPushButton *NOButton = nullptr;

    void setupUi(QDialog *form);
};
