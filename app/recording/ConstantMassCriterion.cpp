// Reading and applying a constant-mass criterion.
#include "recording/ConstantMassCriterion.h"

#include "recording/CodeNames.h"
#include "recording/DurationText.h"

#include <QLocale>

#include <array>
#include <cmath>

namespace {

constexpr int8_t percentUnit = 2;

// Grams per unit of each index, 0 for the units that are no mass.
constexpr std::array<double, 8> gramsPerUnit = {1.0, 0.2, 0.0, 0.0, 0.001, 1000.0, 28.349523125, 31.1034768};

std::optional<int8_t> unitOfText(const QString &text)
{
    for (int8_t index = 0; index < 8; ++index)
        if (index != percentUnit && text == QString::fromUtf8(unitName(index)))
            return index;
    return std::nullopt;
}

} // namespace

std::optional<double> ConstantMassCriterion::allowedChange(double reference, std::optional<int8_t> balanceUnit) const
{
    if (limitKind == Limit::PercentOfReference) {
        if (reference == 0 || !std::isfinite(reference))
            return std::nullopt;
        return limit / 100.0 * std::abs(reference);
    }
    if (!balanceUnit || *balanceUnit < 0 || *balanceUnit > 7)
        return std::nullopt;
    if (*balanceUnit == unitIndex)
        return limit;
    const double from = gramsPerUnit[size_t(unitIndex)];
    const double to = gramsPerUnit[size_t(*balanceUnit)];
    if (from == 0 || to == 0)
        return std::nullopt;
    return limit * from / to;
}

std::optional<ConstantMassCriterion> parseConstantMassCriterion(const QString &text)
{
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return std::nullopt;
    QString limitText = text.left(slash).trimmed();
    const std::optional<std::chrono::milliseconds> window = parseDuration(text.mid(slash + 1));
    if (!window)
        return std::nullopt;

    ConstantMassCriterion criterion;
    criterion.window = *window;
    qsizetype numberEnd = 0;
    while (numberEnd < limitText.size() &&
           (limitText[numberEnd].isDigit() || limitText[numberEnd] == QLatin1Char(',') ||
            limitText[numberEnd] == QLatin1Char('.')))
        ++numberEnd;
    const QString unitText = limitText.mid(numberEnd).trimmed();
    if (unitText == QLatin1String("%")) {
        criterion.limitKind = ConstantMassCriterion::Limit::PercentOfReference;
    } else if (const std::optional<int8_t> unit = unitOfText(unitText)) {
        criterion.limitKind = ConstantMassCriterion::Limit::InUnit;
        criterion.unitIndex = *unit;
    } else {
        return std::nullopt;
    }
    bool ok = false;
    criterion.limit = QLocale::c().toDouble(limitText.left(numberEnd).replace(QLatin1Char(','), QLatin1Char('.')), &ok);
    if (!ok || !std::isfinite(criterion.limit) || criterion.limit <= 0)
        return std::nullopt;
    return criterion;
}

QString constantMassCriterionText(const ConstantMassCriterion &criterion)
{
    const QString limit = QString::number(criterion.limit, 'g', 15).replace(QLatin1Char('.'), QLatin1Char(','));
    const QString unit = criterion.limitKind == ConstantMassCriterion::Limit::PercentOfReference
                             ? QStringLiteral("%")
                             : QString::fromUtf8(unitName(criterion.unitIndex));
    return limit + unit + QLatin1Char('/') + durationText(criterion.window);
}
