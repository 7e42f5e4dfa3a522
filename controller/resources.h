// Media records kept by the controller, each linked to its script proxy.
// These hold only what the controller core needs; the models-set loader and
// the video streams add their own fields (and whatever their destructors
// must release) here. Fonts, images and samples have their own headers in
// model/.
#pragma once

#include "controller/models_set.h"
#include "controller/video_stream.h"
#include "model/callbacks.h"
#include "model/font_record.h"
