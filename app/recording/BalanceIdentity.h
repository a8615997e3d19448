// Whether the balance at a place on the line is still the one whose captions
// are kept: a scan reply that failed its checks says nothing about which
// balance is there, so only a complete identification can tell of another.
#pragma once

#include <trutina.h>

#include <cstdint>
#include <optional>
#include <vector>

struct RecordedRow;

// Captions of one polled balance, for the grid's caption rows.
struct BalanceCaption {
    int32_t balance = 0;
    int32_t modelCode = 0;
    int32_t ident = 0;

    bool operator==(const BalanceCaption &) const = default;
};

// How much of a balance its scan told, from its model code and ident.
enum class IdentityKnown {
    Nothing, // code 100 and ident 0: the identify reply failed
    Kind,    // kind 1 or 2 and ident 0: the model reply failed
    Full,    // both replies sound: a model's code, or code 100 of a model not known here with its ident
};

constexpr IdentityKnown identityKnown(int32_t modelCode, int32_t ident)
{
    if ((modelCode >= TRUTINA_MODEL_KIND1_FIRST && modelCode <= TRUTINA_MODEL_KIND1_LAST) ||
        (modelCode >= TRUTINA_MODEL_KIND2_FIRST && modelCode <= TRUTINA_MODEL_KIND2_LAST) || ident != 0)
        return IdentityKnown::Full;
    return modelCode == TRUTINA_KIND_1 || modelCode == TRUTINA_KIND_2 ? IdentityKnown::Kind : IdentityKnown::Nothing;
}

enum class IdentityChange {
    None,       // the same captions, or another place on the line
    Learned,    // known at least as well as before, not fully on both sides: take the new captions
    ScanFailed, // known less well than before: a scan reply failed; keep the captions
    Replaced,   // fully identified before and now, with another model or ident
};

// How the captions read at a poll relate to the ones kept for that place.
constexpr IdentityChange identityChange(int32_t keptModel, int32_t keptIdent, int32_t readModel, int32_t readIdent)
{
    if (keptModel == readModel && keptIdent == readIdent)
        return IdentityChange::None;
    const IdentityKnown kept = identityKnown(keptModel, keptIdent);
    const IdentityKnown read = identityKnown(readModel, readIdent);
    if (kept == IdentityKnown::Full && read == IdentityKnown::Full)
        return IdentityChange::Replaced;
    return read < kept ? IdentityChange::ScanFailed : IdentityChange::Learned;
}

constexpr IdentityChange identityChange(const BalanceCaption &kept, const BalanceCaption &read)
{
    if (kept.balance != read.balance)
        return IdentityChange::None;
    return identityChange(kept.modelCode, kept.ident, read.modelCode, read.ident);
}

// A poll's captions held against those kept, slot by slot (column order).
struct IdentityReview {
    // What to show and record: the kept captions where a scan failed, the
    // read ones everywhere else (a replaced balance's too).
    std::vector<BalanceCaption> captions;
    // The first slot whose balance was replaced.
    std::optional<size_t> replacedSlot;
    // Slots whose scan failed since the poll before (lastRead): each failed
    // scan is told once, not at every poll until the next scan.
    std::vector<size_t> newlyFailedSlots;
};

// kept: the captions kept so far; lastRead: those read at the poll before;
// read: those read now. Slots beyond kept take the read captions.
IdentityReview reviewIdentities(const std::vector<BalanceCaption> &kept, const std::vector<BalanceCaption> &lastRead,
                                const std::vector<BalanceCaption> &read);

// Gives each reading of the row the model and ident of its slot's captions.
void applyCaptions(RecordedRow &row, const std::vector<BalanceCaption> &captions);
// The captions of the balances a row holds, in column order.
std::vector<BalanceCaption> balanceCaptionsOf(const RecordedRow &row);
