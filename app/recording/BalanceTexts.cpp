#include "recording/BalanceTexts.h"

QString modelDesignation(int32_t modelCode)
{
    return QString::fromUtf8(modelName(modelCode));
}

QString unitTextOf(int8_t index)
{
    return QString::fromLatin1(unitName(index));
}

QString replacementText(const CaptionChange &replacement)
{
    const BalanceCaption &before = replacement.before;
    const BalanceCaption &after = replacement.after;
    return QStringLiteral("Весы №%1 заменены: были %2 №%3, теперь %4 №%5.")
        .arg(after.balance)
        .arg(modelDesignation(before.modelCode))
        .arg(before.ident)
        .arg(modelDesignation(after.modelCode))
        .arg(after.ident);
}

QString balanceCaption(int j)
{
    return QStringLiteral("Весы №%1").arg(j);
}
