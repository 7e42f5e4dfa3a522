// Media records kept by the controller, each linked to its script proxy.
// These hold only what the controller core needs; the models-set loader,
// the font source and the video streams add their own fields (and whatever
// their destructors must release) here.
#pragma once

#include "model/callbacks.h"

struct FontRecord {
  LMP_ProxyRef proxy;
};

struct ModelsSet {
  LMP_ProxyRef proxy;
};

struct VideoStream {
  LMP_ProxyRef proxy;
};
