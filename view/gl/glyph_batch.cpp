#include "view/gl/glyph_batch.h"

#include <GL/glew.h>

#include <algorithm>
#include <new>
#include <stdexcept>

bool GlyphBatch::prepare() {
  if (quads_.capacity() >= maxQuads && vertices_.capacity() >= maxQuads * 12 && texCoords_.capacity() >= maxQuads * 12)
    return true;
  try {
    quads_.reserve(maxQuads);
    vertices_.reserve(maxQuads * 12);
    texCoords_.reserve(maxQuads * 12);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

void GlyphBatch::add(uint32_t texture, const double vertices[12], const double texCoords[12]) {
  if (quads_.size() >= maxQuads) {
    draw();
    clear();
  }
  const uint32_t order = static_cast<uint32_t>(quads_.size());
  Entry& e = quads_.emplace_back();
  e.texture = texture;
  e.order = order;
  std::copy(vertices, vertices + 12, e.vertices);
  std::copy(texCoords, texCoords + 12, e.texCoords);
}

void GlyphBatch::draw() {
  if (quads_.empty()) return;
  // In text order within a texture (std::stable_sort would allocate).
  std::sort(quads_.begin(), quads_.end(), [](const Entry& a, const Entry& b) {
    return a.texture != b.texture ? a.texture < b.texture : a.order < b.order;
  });
  vertices_.resize(quads_.size() * 12);
  texCoords_.resize(quads_.size() * 12);
  for (size_t i = 0; i < quads_.size(); ++i) {
    std::copy(quads_[i].vertices, quads_[i].vertices + 12, &vertices_[i * 12]);
    std::copy(quads_[i].texCoords, quads_[i].texCoords + 12, &texCoords_[i * 12]);
  }
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(2, GL_DOUBLE, 0, vertices_.data());
  glTexCoordPointer(2, GL_DOUBLE, 0, texCoords_.data());
  for (size_t first = 0; first < quads_.size();) {
    size_t end = first + 1;
    while (end < quads_.size() && quads_[end].texture == quads_[first].texture) ++end;
    glBindTexture(GL_TEXTURE_2D, quads_[first].texture);
    glDrawArrays(GL_TRIANGLES, GLint(first * 6), GLsizei((end - first) * 6));
    first = end;
  }
}
