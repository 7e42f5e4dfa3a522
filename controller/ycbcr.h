// The colour conversion of decoded video pictures: Y'CbCr planes into
// bottom-up RGB24, in fixed-point integer arithmetic.
#pragma once

#include <cstdint>

// One decoded plane: Y', then Cb and Cr at their own resolution.
struct VideoPlane {
  const unsigned char* data;
  int32_t width, height, stride;
};

// Writes the picture region (picX, picY, width x height of the luma plane;
// the chroma planes shifted right by xShift and yShift) as bottom-up RGB24
// into out (width x height x 3 bytes). False, writing nothing, when the
// region or planes do not fit together.
bool CTRL_convertPicture(const VideoPlane planes[3], int xShift, int yShift, int32_t picX, int32_t picY, int32_t width,
                         int32_t height, unsigned char* out);
