// Image textures for material layers: decoded once, resized to the texture
// size rules and kept by source id until forgotten or flushed. Video frames
// are uploaded as they are and replaced in place whenever the stream shows a
// new picture.
#include <GL/glew.h>

#include <algorithm>
#include <cstring>

#include "model/image_source.h"
#include "view/opengl.h"
#include "view/texture_image.h"

namespace {

constexpr int32_t kFilterNearest = 1;
constexpr int32_t kFilterLinear = 2;
constexpr int32_t kFilterMipmap = 3;

// The longest side a picture keeps, whatever the GL allows: past it a
// texture costs more memory than any screen can show of it (8193 x 8191
// would round up to 16384 x 8192 and its mipmaps, well over a gigabyte).
constexpr int32_t kMaxPictureSide = 4096;

GLenum formatOf(int32_t channels) {
  switch (channels) {
    case 1:
      return GL_LUMINANCE;
    case 2:
      return GL_LUMINANCE_ALPHA;
    case 3:
      return GL_RGB;
    default:
      return GL_RGBA;
  }
}

// The next mipmap level: each byte the mean of the 2 x 2 block below it,
// the same texel taken twice along a side that is already 1.
bool halveImage(const PixelImage& from, PixelImage* to) {
  const int32_t w = std::max(from.width / 2, 1), h = std::max(from.height / 2, 1), c = from.channels;
  if (!to->allocate(w, h, c)) return false;
  for (int32_t y = 0; y < h; ++y) {
    const int32_t y0 = std::min(2 * y, from.height - 1), y1 = std::min(2 * y + 1, from.height - 1);
    for (int32_t x = 0; x < w; ++x) {
      const int32_t x0 = std::min(2 * x, from.width - 1), x1 = std::min(2 * x + 1, from.width - 1);
      for (int32_t k = 0; k < c; ++k) {
        const auto at = [&](int32_t sx, int32_t sy) { return from.pixels[(size_t(sy) * from.width + sx) * c + k]; };
        to->pixels[(size_t(y) * w + x) * c + k] =
            static_cast<uint8_t>((at(x0, y0) + at(x1, y0) + at(x0, y1) + at(x1, y1)) >> 2);
      }
    }
  }
  return true;
}

// Mipmaps down to 1 x 1; answers the bytes of all levels.
uint32_t uploadMipmaps(PixelImage* image) {
  const GLenum format = formatOf(image->channels);
  uint32_t bytes = 0;
  PixelImage next;
  for (GLint level = 0;; ++level) {
    glTexImage2D(GL_TEXTURE_2D, level, image->channels, image->width, image->height, 0, format, GL_UNSIGNED_BYTE,
                 image->pixels);
    bytes += uint32_t(image->width) * uint32_t(image->height) * uint32_t(image->channels);
    if ((image->width == 1 && image->height == 1) || !halveImage(*image, &next)) break;
    std::swap(image->pixels, next.pixels);
    std::swap(image->width, next.width);
    std::swap(image->height, next.height);
  }
  return bytes;
}

// Uploads a raw RGB24 frame at (0, 0) of the bound texture. A frame over the
// maximum texture size goes through a shrunk copy: the stream's own picture
// buffer is never resized. Nothing is uploaded when the copy cannot be had.
void uploadFrame(const ImageSource& frame, int32_t limit) {
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (frame.width <= limit && frame.height <= limit) {
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, frame.width, frame.height, GL_RGB, GL_UNSIGNED_BYTE, frame.data);
    return;
  }
  PixelImage copy;
  if (!copy.allocate(frame.width, frame.height, 3)) return;
  std::memcpy(copy.pixels, frame.data, size_t(frame.width) * size_t(frame.height) * 3);
  if (!resampleImage(&copy, std::min(frame.width, limit), std::min(frame.height, limit))) return;
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, copy.width, copy.height, GL_RGB, GL_UNSIGNED_BYTE, copy.pixels);
}

}  // namespace

ImageTexture* VIEW_OpenGL::getFrameTexture(ImageSource* frame) {
  // A frame whose buffer does not hold its pixels has nothing to show.
  if (!frame->data || frame->width < 1 || frame->height < 1 ||
      int64_t(frame->size) < int64_t(frame->width) * frame->height * 3)
    return nullptr;
  const int32_t limit = maxTextureSize > 0 ? maxTextureSize : INT32_MAX;
  if (ImageTexture* known = imageTextures.find(frame->id)) {
    if (!known->texture) return nullptr;
    glBindTexture(GL_TEXTURE_2D, known->texture);
    if (frame->pixelsChanged) {
      uploadFrame(*frame, limit);
      frame->pixelsChanged = false;
    }
    return known;
  }
  ImageTexture* entry = imageTextures.insert(frame->id);
  if (!entry) return nullptr;
  *entry = ImageTexture{};
  int32_t w = frame->width, h = frame->height;
  roundTextureSize(&w, &h, maxTextureSize);
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  // No mipmaps for pictures replaced every frame.
  const GLint filter = resolveFilter(frame->filter) == kFilterNearest ? GL_NEAREST : GL_LINEAR;
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  uploadFrame(*frame, limit);
  frame->pixelsChanged = false;
  // The picture sits in the corner of the power-of-two texture.
  const double W = w, H = h;
  entry->texture = name;
  entry->s0 = 0.5 / W;
  entry->t0 = 0.5 / H;
  entry->s1 = (std::min(frame->width, limit) - 0.5) / W;
  entry->t1 = (std::min(frame->height, limit) - 0.5) / H;
  entry->bytes = uint32_t(w) * uint32_t(h) * 3;
  return entry;
}

int32_t VIEW_OpenGL::resolveFilter(int32_t filter) const {
  if (filter == 0) filter = defaultFilter;
  return filter >= kFilterNearest && filter <= kFilterMipmap ? filter : kFilterLinear;
}

ImageTexture* VIEW_OpenGL::getTexture(ImageSource* source) {
  if (!source) return nullptr;
  if (source->rawPixels) return getFrameTexture(source);
  if (ImageTexture* known = imageTextures.find(source->id)) {
    // A source that failed to decode keeps an entry without a texture.
    if (!known->texture) return nullptr;
    glBindTexture(GL_TEXTURE_2D, known->texture);
    return known;
  }
  ImageTexture* entry = imageTextures.insert(source->id);
  if (!entry) return nullptr;
  *entry = ImageTexture{};

  PixelImage image;
  const size_t size = source->size > 0 ? size_t(source->size) : 0;
  if (!decodeTextureImage(&image, source->data, size, source->name)) return nullptr;
  // Shrunk first, so that rounding up cannot pass either limit.
  const int32_t limit = std::min(maxTextureSize > 0 ? maxTextureSize : INT32_MAX, kMaxPictureSide);
  int32_t w = std::min(image.width, limit), h = std::min(image.height, limit);
  if (!resampleImage(&image, w, h)) return nullptr;
  roundTextureSize(&w, &h, maxTextureSize);
  if (!resampleImage(&image, std::max(w, 1), std::max(h, 1))) return nullptr;

  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  const int32_t filter = resolveFilter(source->filter);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                  filter == kFilterNearest  ? GL_NEAREST
                  : filter == kFilterLinear ? GL_LINEAR
                                            : GL_LINEAR_MIPMAP_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter == kFilterNearest ? GL_NEAREST : GL_LINEAR);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  entry->texture = name;
  if (filter == kFilterMipmap) {
    entry->s0 = entry->t0 = 0;
    entry->s1 = entry->t1 = 1;
    entry->bytes = uploadMipmaps(&image);
  } else {
    const double W = image.width, H = image.height;
    const GLenum format = formatOf(image.channels);
    glTexImage2D(GL_TEXTURE_2D, 0, image.channels, image.width, image.height, 0, format, GL_UNSIGNED_BYTE, nullptr);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, image.width, image.height, format, GL_UNSIGNED_BYTE, image.pixels);
    entry->s0 = 0.5 / W;
    entry->t0 = 0.5 / H;
    entry->s1 = (W - 0.5) / W;
    entry->t1 = (H - 0.5) / H;
    entry->bytes = uint32_t(image.width) * uint32_t(image.height) * uint32_t(image.channels);
  }
  return entry;
}
