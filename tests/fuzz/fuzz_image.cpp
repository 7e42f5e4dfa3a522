// Image files as content gives them: the header sniffing of an image source
// (size and alpha), then the texture decoder (PNG, then JPEG) and the
// resizing the renderer applies before an upload, all without OpenGL.
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "fuzz_support.h"
#include "model/image_source.h"
#include "view/texture_image.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quietLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 20)) return 0;
  // Not owned: the record only reads the bytes and leaves them to us.
  ImageSource source("t.png", const_cast<unsigned char*>(data), static_cast<int32_t>(size), false);
  PixelImage image;
  if (!decodeTextureImage(&image, data, size, source.name)) return 0;
  // A few bytes may decode into a picture up to the size ceiling (the JPEG
  // library pads data that ends early); resizing such pictures is correct
  // but takes longer than the fuzzer's time limit under the sanitizers.
  if (int64_t{image.width} * image.height > (int64_t{1} << 22)) return 0;
  // Rounded as every texture is (no limit), then below small limits, as on
  // a card with little texture memory.
  for (int32_t limit : {0, 64, 8}) {
    int32_t width = image.width, height = image.height;
    if (roundTextureSize(&width, &height, limit) && !resampleImage(&image, width, height)) break;
  }
  return 0;
}
