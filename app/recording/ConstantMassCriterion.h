// When a sample has reached constant mass: its stable readings changed by
// no more than a limit over a trailing window of time, the limit either in
// percent of the sample's reference mass ("0,1%/60m") or in a unit
// ("0,005g/30m").
#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

struct ConstantMassCriterion {
    enum class Limit : int8_t { PercentOfReference, InUnit };

    Limit limitKind = Limit::PercentOfReference;
    double limit = 0.1;    // percent, or in the unit of unitIndex
    int8_t unitIndex = -1; // InUnit: the limit's unit index 0..7 ("g", "ct", ...)
    std::chrono::milliseconds window{std::chrono::minutes(60)};

    // The largest change allowed to a balance whose reference is `reference`,
    // read in the unit of index `balanceUnit`: nothing when no limit can be
    // given, a percentage of a zero reference or an absolute limit in a
    // unit that does not convert to the balance's (grams to pieces, say).
    std::optional<double> allowedChange(double reference, std::optional<int8_t> balanceUnit) const;

    bool operator==(const ConstantMassCriterion &) const = default;
};

// "0,1%/60m", "0,005g/30m", "2 mg / 90s": a positive limit with "%" or a unit
// text, a slash, and a window written as parseDuration reads it. Nothing
// when the text is not such a criterion.
std::optional<ConstantMassCriterion> parseConstantMassCriterion(const QString &text);

// The text parseConstantMassCriterion reads back as the same criterion, with
// the decimal comma: "0,1%/60m".
QString constantMassCriterionText(const ConstantMassCriterion &criterion);
