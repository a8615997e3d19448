// Names of the codes the scale link library reports, as plain UTF-8 text for
// the parts that run without Qt (publishing, the collector).
#pragma once

#include <cstdint>
#include <optional>

// The designation of a model code, "Неизвестна" for codes without a model.
const char *modelName(int32_t modelCode);

// Index 0..7 of a unit code 200..207, nothing for any other code.
std::optional<int8_t> unitIndex(int32_t unitCode);

// The text of a unit index 0..7 ("g", "ct", ...).
const char *unitName(int8_t unitIndex);
