// The question "Очистить окно?" asked when the balances to poll change after
// a run. It does not block: the main window polls the two flags it is given.
#pragma once

#include <QDialog>

class QPushButton;

class TAskForm final : public QDialog {
    Q_OBJECT
public:
    // askAnswer: set by "Да" and "Нет"; askClosed: set when the question closes.
    TAskForm(bool &askAnswer, bool &askClosed, QWidget *parent);

    // Shows the question afresh; it is not closed until answered or closed.
    void ask();

public slots:
    void OKButtonClick();
    void NOButtonClick();
    // Every way of closing ends here: the buttons, the title bar's close box
    // and Escape. A close without an answer leaves askAnswer as it was.
    void FormClose();

protected:
    void done(int result) override;

private:
    QPushButton *noButton_;
    bool &askAnswer_;
    bool &askClosed_;
};
