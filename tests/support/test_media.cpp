#include "support/test_media.h"

#include <jpeglib.h>
#include <png.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace testmedia {

const char kPackageFontPath[] = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";

std::string readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

void pngAppend(png_structp png, png_bytep bytes, png_size_t n) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(bytes), n);
}

void pngFlush(png_structp) {}

int channelsOf(int colorType) {
  switch (colorType) {
    case PNG_COLOR_TYPE_RGB:
      return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
      return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA:
      return 4;
    default:
      return 1;  // grey, palette
  }
}

}  // namespace

std::string makePng(const PngSpec& spec) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return "";
  }
  const size_t rowBytes = (static_cast<size_t>(spec.width) * channelsOf(spec.colorType) * spec.bitDepth + 7) / 8;
  std::vector<png_byte> pixels(rowBytes * spec.height);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<png_byte>(i * 37 + 11);
  if (spec.colorType == PNG_COLOR_TYPE_PALETTE) {
    // Indexes must stay inside the 4-entry palette.
    for (png_byte& b : pixels) b = spec.bitDepth == 8 ? b % 4 : b & 0x55;
  }
  std::vector<png_bytep> rows(spec.height);
  for (int y = 0; y < spec.height; ++y) rows[y] = pixels.data() + y * rowBytes;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return "";
  }
  png_set_write_fn(png, &out, pngAppend, pngFlush);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bitDepth, spec.colorType,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (spec.colorType == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[4] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    png_set_PLTE(png, info, palette, 4);
    if (spec.transparency) {
      png_byte alpha[2] = {0, 128};
      png_set_tRNS(png, info, alpha, 2, nullptr);
    }
  } else if (spec.transparency) {
    png_color_16 key = {};
    png_set_tRNS(png, info, nullptr, 0, &key);
  }
  png_write_info(png, info);
  if (spec.bitDepth == 16) png_set_swap(png);  // any byte order will do for the pattern
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

std::string makePng(int width, int height, int channels, const std::vector<uint8_t>& pixels) {
  static const png_uint_32 formats[4] = {PNG_FORMAT_GRAY, PNG_FORMAT_GA, PNG_FORMAT_RGB, PNG_FORMAT_RGBA};
  if (channels < 1 || channels > 4 || pixels.size() != size_t(width) * size_t(height) * size_t(channels)) return "";
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = formats[channels - 1];
  png_alloc_size_t size = 0;
  if (!png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, nullptr)) return "";
  std::string out(size, '\0');
  if (!png_image_write_to_memory(&image, &out[0], &size, 0, pixels.data(), 0, nullptr)) return "";
  out.resize(size);
  return out;
}

std::string makeJpeg(const JpegSpec& spec) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = spec.width;
  cinfo.image_height = spec.height;
  cinfo.input_components = spec.components;
  cinfo.in_color_space = spec.components == 1 ? JCS_GRAYSCALE : spec.components == 4 ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  if (spec.progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = spec.arithmetic ? TRUE : FALSE;
  if (spec.exif) cinfo.write_JFIF_header = FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  if (spec.exif) {
    static const JOCTET kExif[] = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0};
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, kExif, sizeof kExif);
  }
  std::vector<JSAMPLE> row(static_cast<size_t>(spec.width) * spec.components);
  while (cinfo.next_scanline < cinfo.image_height) {
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<JSAMPLE>((i * 7 + cinfo.next_scanline * 13) & 0xFF);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

Signal tones(int rate) {
  return [rate](int c, int64_t i) {
    const double f = 440.0 * (2 + c) / 2;
    return static_cast<float>(0.5 * std::sin(2 * M_PI * f * static_cast<double>(i) / rate));
  };
}

std::string makeOgg(int channels, int rate, int64_t frames) { return makeOgg(channels, rate, frames, tones(rate)); }

std::string makeOgg(int channels, int rate, int64_t frames, const Signal& signal, int pageBytes) {
  std::string out;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, 0.4f) != 0) {
    vorbis_info_clear(&vi);
    return "";
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  static int serial = 1234;  // each file its own, so files can be chained
  ogg_stream_init(&os, serial++);
  auto writePages = [&](bool flush) {
    ogg_page page;
    while (flush           ? ogg_stream_flush(&os, &page)
           : pageBytes > 0 ? ogg_stream_pageout_fill(&os, &page, pageBytes)
                           : ogg_stream_pageout(&os, &page)) {
      out.append(reinterpret_cast<const char*>(page.header), page.header_len);
      out.append(reinterpret_cast<const char*>(page.body), page.body_len);
    }
  };
  ogg_packet header, comments, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comments);
  ogg_stream_packetin(&os, &codebooks);
  writePages(true);  // the audio starts on a page of its own
  auto drain = [&] {
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet)) {
        ogg_stream_packetin(&os, &packet);
        writePages(false);
      }
    }
  };
  const int64_t kBlock = 1024;
  for (int64_t at = 0; at < frames; at += kBlock) {
    const int n = static_cast<int>(std::min(kBlock, frames - at));
    float** buffer = vorbis_analysis_buffer(&vd, n);
    for (int c = 0; c < channels; ++c)
      for (int i = 0; i < n; ++i) buffer[c][i] = signal(c, at + i);
    vorbis_analysis_wrote(&vd, n);
    drain();
  }
  vorbis_analysis_wrote(&vd, 0);
  drain();
  writePages(true);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

}  // namespace testmedia
