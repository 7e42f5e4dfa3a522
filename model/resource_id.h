// Ids of image sources, fonts, video streams and models-set textures. The
// renderer's caches key on them, so one counter serves every controller of the
// process and an id is never handed out twice.
#pragma once

#include <cstdint>

// The next id: 1 for the first call in the process, then one more each time.
int32_t MDL_nextResourceId();
