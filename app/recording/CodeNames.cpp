#include "recording/CodeNames.h"

#include <trutina.h>

#include <array>

namespace {

// Analytical balances of kind 1 (codes 300..311).
const std::array<const char *, 12> kind1Models = {
    "АВ-60",  "АВ-120",  "АВ-210",  "АВ-310",  "АВ-60Д",  "АВ-120Д",
    "АВ-210Д", "АВ-310Д", "АВ-60С", "АВ-120С", "АВ-210С", "АВ-310С",
};

// Laboratory balances of kind 2 (codes 400..404).
const std::array<const char *, 5> kind2Models = {
    "ЛВ-600", "ЛВ-1500", "ЛВ-3100", "ЛВ-6100", "ЛВ-12000",
};

const std::array<const char *, 8> unitTexts = {"g", "ct", "%", "pc", "mg", "kg", "o", "ot"};

} // namespace

const char *modelName(int32_t modelCode)
{
    if (modelCode >= TRUTINA_MODEL_KIND1_FIRST && modelCode <= TRUTINA_MODEL_KIND1_LAST)
        return kind1Models[size_t(modelCode - TRUTINA_MODEL_KIND1_FIRST)];
    if (modelCode >= TRUTINA_MODEL_KIND2_FIRST && modelCode <= TRUTINA_MODEL_KIND2_LAST)
        return kind2Models[size_t(modelCode - TRUTINA_MODEL_KIND2_FIRST)];
    return "Неизвестна";
}

std::optional<int8_t> unitIndex(int32_t unitCode)
{
    if (unitCode < TRUTINA_UNIT_FIRST || unitCode > TRUTINA_UNIT_LAST)
        return std::nullopt;
    return static_cast<int8_t>(unitCode - TRUTINA_UNIT_FIRST);
}

const char *unitName(int8_t index)
{
    return unitTexts.at(static_cast<size_t>(index));
}
