// Texts for the codes the scale link library reports, balance models and
// weight units, as the window shows them.
#pragma once

#include "recording/CodeNames.h"
#include "recording/SessionObserver.h"

#include <QString>

#include <cstdint>

// "Весы №j", a balance's caption over its column and in the chart's legend.
QString balanceCaption(int j);

// The designation of a model code, "Неизвестна" for codes without a model.
QString modelDesignation(int32_t modelCode);

// The text of a unit index 0..7 ("g", "ct", ...).
QString unitTextOf(int8_t unitIndex);

// "Весы №j заменены: были <model> №<ident>, теперь <model> №<ident>."
QString replacementText(const CaptionChange &replacement);
