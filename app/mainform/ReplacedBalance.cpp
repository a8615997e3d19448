// A checked balance replaced during a run (another model or ident at the same
// place): the run stops, so that every recorded row stays under the captions
// of the balance that weighed it. The table has one set of caption rows,
// which the export writes once; a second caption block amid the rows would
// break both.
#include "mainform/Serialer.h"

#include "recording/BalanceTexts.h"

bool TMainForm::stopOnReplacedBalance(const std::vector<BalanceCaption> &captions)
{
    if (table_->measurementRows() == 0)
        return false;
    for (size_t slot = 0; slot < captions.size() && slot < captionsShown_.size(); ++slot) {
        const BalanceCaption &before = captionsShown_[slot];
        const BalanceCaption &after = captions[slot];
        if (before.balance != after.balance || (before.modelCode == after.modelCode && before.ident == after.ident))
            continue;
        // Stopped before the message, whose own event loop would poll again.
        StopButtonClick();
        for (const ReplacementSink &sink : replacementSinks_)
            sink(slot, before, after);
        inform_(QStringLiteral("Весы №%1 заменены: были %2 №%3, теперь %4 №%5. Измерение прервано; записанные "
                               "строки остались под прежними весами. Сохраните результаты и очистите окно, "
                               "прежде чем начать снова.")
                    .arg(after.balance)
                    .arg(modelDesignation(before.modelCode))
                    .arg(before.ident)
                    .arg(modelDesignation(after.modelCode))
                    .arg(after.ident));
        return true;
    }
    return false;
}
