// A checked balance replaced during a run (another balance fully identified
// at the same place): the run stops, so that every recorded row stays under
// the captions of the balance that weighed it. The table has one set of
// caption rows, which the export writes once; a second caption block amid
// the rows would break both. A scan that failed is no replacement: the
// captions stay and the run goes on.
#include "mainform/Serialer.h"

#include "recording/BalanceTexts.h"

bool TMainForm::stopOnReplacedBalance(const IdentityReview &review, const std::vector<BalanceCaption> &read)
{
    for (const size_t slot : review.newlyFailedSlots)
        for (const ScanFailureSink &sink : scanFailureSinks_)
            sink(slot, captionsShown_[slot], read[slot]);
    if (!review.replacedSlot || table_->measurementRows() == 0)
        return false;
    const size_t slot = *review.replacedSlot;
    const BalanceCaption &before = captionsShown_[slot];
    const BalanceCaption &after = read[slot];
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
