// Texts for the codes the scale link library reports: balance models and
// weight units.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The designation of a model code, "Неизвестна" for codes without a model.
QString modelDesignation(int32_t modelCode);

// Index 0..7 of a unit code 200..207, nothing for any other code.
std::optional<int8_t> unitIndex(int32_t unitCode);

// The text of a unit index 0..7 ("g", "ct", ...).
QString unitTextOf(int8_t unitIndex);
