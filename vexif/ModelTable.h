// The static model table behind QV_Info: what each Vex model code describes.
// Shared by the real library and the scripted test fake so both answer the
// same for the same code.
#pragma once

#include "vexif.h"

#include <cstdint>

namespace vexif {

// Fills *info for modelCode ('r', 'o', 'c', 'b') and returns true; returns
// false and leaves *info untouched for any other code.
bool fillModelInfo(int32_t modelCode, QV_ModuleInfo* info);

// Channel count of modelCode, 0 for a code not in the table.
int32_t modelChannelCount(int32_t modelCode);

} // namespace vexif
