#include "recording/BalanceTexts.h"

QString modelDesignation(int32_t modelCode)
{
    return QString::fromUtf8(modelName(modelCode));
}

QString unitTextOf(int8_t index)
{
    return QString::fromLatin1(unitName(index));
}
