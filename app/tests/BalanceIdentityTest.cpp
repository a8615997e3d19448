// Which change of a balance's captions is a replacement, and what a failed
// scan leaves over the rows.
#include "recording/BalanceIdentity.h"
#include "recording/RecordedRow.h"

#include <gtest/gtest.h>

namespace {

TEST(BalanceIdentity, OnlyTwoFullIdentificationsThatDifferAreAReplacement)
{
    struct Case {
        BalanceCaption kept, read;
        IdentityChange change;
    };
    const Case cases[] = {
        {{1, 303, 111}, {1, 303, 111}, IdentityChange::None},
        {{1, 303, 111}, {1, 100, 0}, IdentityChange::ScanFailed},   // identify reply failed
        {{1, 303, 111}, {1, TRUTINA_KIND_1, 0}, IdentityChange::ScanFailed}, // model reply failed
        {{1, 300, 0}, {1, 100, 0}, IdentityChange::ScanFailed},     // a model of ident 0 is fully known
        {{1, 100, 7}, {1, 100, 0}, IdentityChange::ScanFailed},     // a model unknown here, with its ident
        {{1, TRUTINA_KIND_2, 0}, {1, 100, 0}, IdentityChange::ScanFailed},
        {{1, 303, 111}, {1, 304, 111}, IdentityChange::Replaced},
        {{1, 303, 111}, {1, 303, 112}, IdentityChange::Replaced},
        {{1, 303, 111}, {1, 402, 5}, IdentityChange::Replaced},
        {{1, 100, 7}, {1, 100, 9}, IdentityChange::Replaced},
        {{1, 100, 0}, {1, 303, 111}, IdentityChange::Learned},
        {{1, TRUTINA_KIND_1, 0}, {1, 303, 111}, IdentityChange::Learned},
        {{1, 100, 0}, {1, TRUTINA_KIND_1, 0}, IdentityChange::Learned},
        {{1, TRUTINA_KIND_1, 0}, {1, TRUTINA_KIND_2, 0}, IdentityChange::Learned},
        {{1, 303, 111}, {2, 404, 222}, IdentityChange::None}, // another place: a run of other balances
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.change, identityChange(c.kept, c.read))
            << c.kept.modelCode << "/" << c.kept.ident << " -> " << c.read.modelCode << "/" << c.read.ident;
}

TEST(BalanceIdentity, AFailedScanKeepsTheCaptionsAndIsToldOncePerScan)
{
    const std::vector<BalanceCaption> kept{{1, 303, 111}, {2, 404, 222}};
    const std::vector<BalanceCaption> failed{{1, 303, 111}, {2, 100, 0}};

    const IdentityReview first = reviewIdentities(kept, kept, failed);
    EXPECT_EQ(kept, first.captions);
    EXPECT_FALSE(first.replacedSlot);
    EXPECT_EQ(std::vector<size_t>{1}, first.newlyFailedSlots);

    const IdentityReview later = reviewIdentities(first.captions, failed, failed);
    EXPECT_EQ(kept, later.captions);
    EXPECT_TRUE(later.newlyFailedSlots.empty()) << "the same failed scan, read again";

    const IdentityReview afterKind = reviewIdentities(first.captions, failed, {{1, 303, 111}, {2, 2, 0}});
    EXPECT_EQ(std::vector<size_t>{1}, afterKind.newlyFailedSlots) << "another scan, failed otherwise";
}

TEST(BalanceIdentity, AReplacementIsFoundAndTheFirstCaptionsAreTaken)
{
    const std::vector<BalanceCaption> read{{1, 305, 9}, {3, 402, 8}};
    const IdentityReview first = reviewIdentities({}, {}, read);
    EXPECT_EQ(read, first.captions);
    EXPECT_FALSE(first.replacedSlot);

    const IdentityReview replaced = reviewIdentities(read, read, {{1, 305, 9}, {3, 401, 8}});
    ASSERT_TRUE(replaced.replacedSlot);
    EXPECT_EQ(1u, *replaced.replacedSlot);
    EXPECT_EQ(401, replaced.captions[1].modelCode);
}

TEST(BalanceIdentity, RowsTakeTheCaptionsOfTheirSlots)
{
    RecordedRow row;
    row.readings = {{.balance = 1, .modelCode = 303, .ident = 111}, {.balance = 2, .modelCode = 100, .ident = 0}};
    applyCaptions(row, {{1, 303, 111}, {2, 404, 222}});
    EXPECT_EQ(404, row.readings[1].modelCode);
    EXPECT_EQ(222, row.readings[1].ident);
    EXPECT_EQ(303, row.readings[0].modelCode);
}

} // namespace
