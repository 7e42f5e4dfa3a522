#include "model/resource_id.h"

namespace {
// Unsigned, so that counting on past 2^31 creations cannot be undefined.
uint32_t g_next = 1;
}  // namespace

int32_t MDL_nextResourceId() { return static_cast<int32_t>(g_next++); }
