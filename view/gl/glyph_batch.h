// The glyph quads of one text, drawn grouped by texture: every glyph of a
// text has the same colour, so their order among themselves does not show,
// and each change of texture costs far more than a quad. The renderer keeps
// one from text to text. It holds at most maxQuads quads: a full batch is
// drawn and emptied, so that a text of any length draws in the same memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class GlyphBatch {
 public:
  static constexpr size_t kMaxQuads = 2048;

  // Makes room for maxQuads quads, once; every later call and every add and
  // draw then runs without allocating. False when the room cannot be had.
  bool prepare();
  void clear() { quads_.clear(); }
  // Two triangles of three (x, y) corners in overlay pixels, with their
  // texture coordinates. Draws what the batch holds first when it is full.
  void add(uint32_t texture, const double vertices[12], const double texCoords[12]);
  void draw();

  size_t size() const { return quads_.size(); }
  size_t capacity() const { return quads_.capacity(); }

  size_t maxQuads = kMaxQuads;

 private:
  struct Entry {
    uint32_t texture;
    uint32_t order;
    double vertices[12];
    double texCoords[12];
  };
  std::vector<Entry> quads_;
  std::vector<double> vertices_, texCoords_;
};
