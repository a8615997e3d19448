#include "recording/BalanceIdentity.h"

#include "recording/RecordedRow.h"

IdentityReview reviewIdentities(const std::vector<BalanceCaption> &kept, const std::vector<BalanceCaption> &lastRead,
                                const std::vector<BalanceCaption> &read)
{
    IdentityReview review;
    review.captions = read;
    for (size_t slot = 0; slot < read.size() && slot < kept.size(); ++slot) {
        switch (identityChange(kept[slot], read[slot])) {
        case IdentityChange::Replaced:
            if (!review.replacedSlot)
                review.replacedSlot = slot;
            break;
        case IdentityChange::ScanFailed:
            review.captions[slot] = kept[slot];
            if (slot >= lastRead.size() || lastRead[slot] != read[slot])
                review.newlyFailedSlots.push_back(slot);
            break;
        case IdentityChange::None:
        case IdentityChange::Learned:
            break;
        }
    }
    return review;
}

void applyCaptions(RecordedRow &row, const std::vector<BalanceCaption> &captions)
{
    for (size_t slot = 0; slot < row.readings.size() && slot < captions.size(); ++slot) {
        BalanceReading &reading = row.readings[slot];
        if (reading.balance != captions[slot].balance)
            continue;
        reading.modelCode = captions[slot].modelCode;
        reading.ident = captions[slot].ident;
    }
}

std::vector<BalanceCaption> balanceCaptionsOf(const RecordedRow &row)
{
    std::vector<BalanceCaption> captions;
    captions.reserve(row.readings.size());
    for (const BalanceReading &reading : row.readings)
        captions.push_back({reading.balance, reading.modelCode, reading.ident});
    return captions;
}
