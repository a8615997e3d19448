// A checked balance replaced during a run (another model or ident at the same
// place): the session has stopped the run, so that every recorded row stays
// under the captions of the balance that weighed it. The table has one set of
// caption rows, which the export writes once; a second caption block amid the
// rows would break both.
#include "mainform/Serialer.h"

#include "recording/BalanceTexts.h"

void TMainForm::showReplacedBalance(const CaptionChange &replacement)
{
    // Stopped before the message, whose own event loop would poll again.
    StopButtonClick();
    inform_(replacementText(replacement) +
            QStringLiteral(" Измерение прервано; записанные строки остались под прежними весами. Сохраните "
                           "результаты и очистите окно, прежде чем начать снова."));
}
