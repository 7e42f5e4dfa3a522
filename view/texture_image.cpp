#include "view/texture_image.h"

#include <cstdio>  // jpeglib.h needs FILE

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "core/debug_log.h"

namespace {

bool acceptableSize(size_t width, size_t height, size_t channels) {
  if (width < 1 || height < 1 || width > kMaxImageSide || height > kMaxImageSide) return false;
  return width * height * channels <= kMaxImageBytes;  // cannot wrap: both sides are bounded
}

// ---- PNG

struct PngInput {
  const unsigned char* bytes;
  size_t size;
  size_t at;
  const char* name;
};

void pngRead(png_structp png, png_bytep out, png_size_t n) {
  PngInput* in = static_cast<PngInput*>(png_get_io_ptr(png));
  if (n > in->size - in->at) png_error(png, "Read past the end of the data");
  std::memcpy(out, in->bytes + in->at, n);
  in->at += n;
}

const char* nameOf(png_structp png) {
  const char* name = static_cast<const char*>(png_get_error_ptr(png));
  return name ? name : "";
}

void pngError(png_structp png, png_const_charp message) {
  debugPrintf("Pnglib error: %s (%s)\n", message, nameOf(png));
  png_longjmp(png, 1);
}

void pngWarning(png_structp png, png_const_charp message) {
  debugPrintf("Pnglib warning: %s (%s)\n", message, nameOf(png));
}

// Only plain locals live across the jump back from libpng.
bool decodePng(PixelImage* image, const unsigned char* bytes, size_t size, const char* name) {
  if (size < 8 || png_sig_cmp(bytes, 0, 8) != 0) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, const_cast<char*>(name), pngError, pngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  PngInput input = {bytes, size, 0, name};
  png_bytep* volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    free(rows);
    image->release();
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &input, pngRead);
  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  png_read_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int colorType = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_strip_16(png);
  if (depth < 8) png_set_packing(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const size_t channels = png_get_channels(png, info);
  const bool sized = channels >= 1 && channels <= 4 && acceptableSize(width, height, channels);
  const bool fits = sized && png_get_rowbytes(png, info) == width * channels;
  if (!sized) debugPrintf("Pnglib error: a picture of %u x %u is too large (%s)\n", width, height, name);
  if (sized && !fits) debugPrintf("Pnglib error: its rows cannot be unpacked to bytes (%s)\n", name);
  if (fits && !image->allocate(width, height, channels))
    debugPrintf("Pnglib error: %u x %u pixels do not fit in memory (%s)\n", width, height, name);
  if (!fits || !image->pixels) {
    png_destroy_read_struct(&png, &info, nullptr);
    image->release();
    return false;
  }
  rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * height));
  if (!rows) {
    png_destroy_read_struct(&png, &info, nullptr);
    image->release();
    return false;
  }
  // The file's first row goes to the last memory row.
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = image->pixels + size_t(height - 1 - y) * width * channels;
  png_read_image(png, rows);
  free(rows);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

// ---- JPEG

struct JpegError {
  jpeg_error_mgr manager;
  jmp_buf back;
  const char* name;
};

// libjpeg's reason goes to the log, as libpng's does, before the jump back.
void jpegErrorExit(j_common_ptr cinfo) {
  JpegError* error = reinterpret_cast<JpegError*>(cinfo->err);
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  debugPrintf("Jpeglib error: %s (%s)\n", text, error->name);
  longjmp(error->back, 1);
}
void jpegMessage(j_common_ptr) {}  // warnings: the data is decoded on

const char* colourSpaceName(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_CMYK:
      return "CMYK";
    case JCS_YCCK:
      return "YCCK";
    default:
      return "unknown";
  }
}

struct JpegInput {
  jpeg_source_mgr manager;
  const unsigned char* bytes;
  size_t size;
  bool handedOver;
};

void jpegInit(j_decompress_ptr) {}
void jpegTerm(j_decompress_ptr) {}

// The whole buffer on the first fill; after that the input is empty.
boolean jpegFill(j_decompress_ptr cinfo) {
  JpegInput* in = reinterpret_cast<JpegInput*>(cinfo->src);
  if (in->handedOver) return FALSE;
  in->handedOver = true;
  in->manager.next_input_byte = in->bytes;
  in->manager.bytes_in_buffer = in->size;
  return TRUE;
}

void jpegSkip(j_decompress_ptr cinfo, long n) {
  jpeg_source_mgr* src = cinfo->src;
  if (n <= 0) return;
  if (static_cast<size_t>(n) > src->bytes_in_buffer) {
    src->next_input_byte += src->bytes_in_buffer;
    src->bytes_in_buffer = 0;
    jpegFill(cinfo);  // reports the input empty
    return;
  }
  src->next_input_byte += n;
  src->bytes_in_buffer -= static_cast<size_t>(n);
}

bool decodeJpeg(PixelImage* image, const unsigned char* bytes, size_t size, const char* name) {
  jpeg_decompress_struct cinfo;
  JpegError error;
  cinfo.err = jpeg_std_error(&error.manager);
  error.manager.error_exit = jpegErrorExit;
  error.manager.output_message = jpegMessage;
  error.name = name;
  if (setjmp(error.back)) {
    jpeg_destroy_decompress(&cinfo);
    image->release();
    return false;
  }
  jpeg_create_decompress(&cinfo);
  JpegInput input;
  input.manager.next_input_byte = nullptr;
  input.manager.bytes_in_buffer = 0;
  input.manager.init_source = jpegInit;
  input.manager.fill_input_buffer = jpegFill;
  input.manager.skip_input_data = jpegSkip;
  input.manager.resync_to_restart = jpeg_resync_to_restart;
  input.manager.term_source = jpegTerm;
  input.bytes = bytes;
  input.size = size;
  input.handedOver = false;
  cinfo.src = &input.manager;

  const char* refusal = nullptr;
  bool ok = jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK;
  if (!ok) refusal = "the data ends inside the headers";
  int channels = 0;
  if (ok) {
    switch (cinfo.jpeg_color_space) {
      case JCS_GRAYSCALE:
        cinfo.out_color_space = JCS_GRAYSCALE;
        channels = 1;
        break;
      case JCS_RGB:
      case JCS_YCbCr:
        cinfo.out_color_space = JCS_RGB;
        channels = 3;
        break;
      default:  // CMYK, YCCK, unknown
        debugPrintf("Jpeglib error: %s colour is not drawn (%s)\n", colourSpaceName(cinfo.jpeg_color_space), name);
        ok = false;
    }
  }
  if (ok && !acceptableSize(cinfo.image_width, cinfo.image_height, channels)) {
    debugPrintf("Jpeglib error: a picture of %u x %u is too large (%s)\n", cinfo.image_width, cinfo.image_height, name);
    ok = false;
  }
  ok = ok && jpeg_start_decompress(&cinfo) && cinfo.output_components == channels &&
       cinfo.output_width == cinfo.image_width && cinfo.output_height == cinfo.image_height;
  if (ok && !image->allocate(cinfo.output_width, cinfo.output_height, channels)) {
    debugPrintf("Jpeglib error: %u x %u pixels do not fit in memory (%s)\n", cinfo.output_width, cinfo.output_height,
                name);
    ok = false;
  }
  while (ok && cinfo.output_scanline < cinfo.output_height) {
    const size_t row = cinfo.output_height - 1 - cinfo.output_scanline;
    JSAMPROW target = image->pixels + row * cinfo.output_width * channels;
    // No scanline means the data ran out: the input never refills.
    ok = jpeg_read_scanlines(&cinfo, &target, 1) == 1;
    if (!ok) refusal = "the data ends before the picture does";
  }
  // Data that runs out before the end marker leaves the decoder waiting for
  // more: the file is cut short and refused like any other.
  if (ok) {
    ok = jpeg_finish_decompress(&cinfo) == TRUE;
    if (!ok) refusal = "the data ends before the picture does";
  }
  if (refusal) debugPrintf("Jpeglib error: %s (%s)\n", refusal, name);
  jpeg_destroy_decompress(&cinfo);
  if (!ok) image->release();
  return ok;
}

int32_t powerOfTwoAbove(int32_t v) {
  int32_t p = 1;
  while (p < v && p < (1 << 30)) p *= 2;
  return p;
}

}  // namespace

bool decodeTextureImage(PixelImage* image, const unsigned char* bytes, size_t size, const char* name) {
  image->release();
  if (!bytes) return false;
  if (!name) name = "";
  // A PNG that fails has said why; it is no JPEG either.
  if (size >= 8 && png_sig_cmp(bytes, 0, 8) == 0) return decodePng(image, bytes, size, name);
  return decodeJpeg(image, bytes, size, name);
}

bool resampleImage(PixelImage* image, int32_t width, int32_t height) {
  const int32_t w0 = image->width, h0 = image->height, c = image->channels;
  if (width == w0 && height == h0) return true;
  if (!image->pixels || width < 1 || height < 1) return false;
  PixelImage out;
  if (!out.allocate(width, height, c)) return false;
  const uint8_t* src = image->pixels;
  uint8_t* dst = out.pixels;
  if (width >= w0 && height >= h0) {
    // Sample centres mapped back, in 1/256 of a source pixel.
    auto position = [](int32_t i, int32_t from, int32_t to) {
      int64_t p = ((2 * int64_t(i) + 1) * from * 256) / (2 * int64_t(to)) - 128;
      return std::clamp<int64_t>(p, 0, int64_t(from - 1) * 256);
    };
    for (int32_t y = 0; y < height; ++y) {
      const int64_t py = position(y, h0, height);
      const int32_t y0 = int32_t(py >> 8), y1 = std::min(y0 + 1, h0 - 1), fy = int32_t(py & 255);
      for (int32_t x = 0; x < width; ++x) {
        const int64_t px = position(x, w0, width);
        const int32_t x0 = int32_t(px >> 8), x1 = std::min(x0 + 1, w0 - 1), fx = int32_t(px & 255);
        const uint8_t* a = src + (size_t(y0) * w0 + x0) * c;
        const uint8_t* b = src + (size_t(y0) * w0 + x1) * c;
        const uint8_t* d = src + (size_t(y1) * w0 + x0) * c;
        const uint8_t* e = src + (size_t(y1) * w0 + x1) * c;
        for (int32_t k = 0; k < c; ++k) {
          const int32_t top = a[k] * (256 - fx) + b[k] * fx;
          const int32_t bottom = d[k] * (256 - fx) + e[k] * fx;
          const int32_t v = (top * (256 - fy) + bottom * fy + 32768) >> 16;
          *dst++ = static_cast<uint8_t>(std::min(v, 255));
        }
      }
    }
  } else {
    for (int32_t y = 0; y < height; ++y) {
      const int32_t ya = int32_t(int64_t(y) * h0 / height);
      const int32_t yb = std::max(ya + 1, int32_t(int64_t(y + 1) * h0 / height));
      for (int32_t x = 0; x < width; ++x) {
        const int32_t xa = int32_t(int64_t(x) * w0 / width);
        const int32_t xb = std::max(xa + 1, int32_t(int64_t(x + 1) * w0 / width));
        const uint64_t n = uint64_t(yb - ya) * uint64_t(xb - xa);
        for (int32_t k = 0; k < c; ++k) {
          uint64_t sum = 0;
          for (int32_t sy = ya; sy < yb; ++sy)
            for (int32_t sx = xa; sx < xb; ++sx) sum += src[(size_t(sy) * w0 + sx) * c + k];
          *dst++ = static_cast<uint8_t>((sum + n / 2) / n);
        }
      }
    }
  }
  image->release();
  image->pixels = out.pixels;
  image->width = width;
  image->height = height;
  image->channels = c;
  image->owns = true;
  out.owns = false;
  out.pixels = nullptr;
  return true;
}

bool roundTextureSize(int32_t* width, int32_t* height, int32_t maxSize) {
  const int32_t w = *width, h = *height;
  *width = powerOfTwoAbove(w);
  *height = powerOfTwoAbove(h);
  if (maxSize > 0) {
    *width = std::min(*width, maxSize);
    *height = std::min(*height, maxSize);
  }
  return *width != w || *height != h;
}
