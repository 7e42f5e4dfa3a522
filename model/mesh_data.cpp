#include "model/mesh_data.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <utility>
#include <new>

#include <tinyxml.h>

#include "controller/debug_log.h"
#include "model/object.h"
#include "model/xml_values.h"

static_assert(sizeof(Vec3) == 3 * sizeof(double), "packed reals are read straight into Vec3 arrays");
static_assert(sizeof(ColorRGBA) == 4 * sizeof(double), "colours are four doubles");

namespace {

// Zeroed array of n elements, or null for n <= 0 or when memory runs out.
template <class T>
T* newZeroed(int64_t n) {
  if (n <= 0) return nullptr;
  return new (std::nothrow) T[static_cast<size_t>(n)]();
}

// The array for section e's count, or null when the count asks for more than
// the bound (logged) or memory runs out.
template <class T>
T* newSection(const TiXmlElement* e, int64_t n) {
  if (!sectionFits(e, n)) return nullptr;
  return newZeroed<T>(n);
}

template <class T>
void freeArray(T*& p) {
  delete[] p;
  p = nullptr;
}

// A count attribute: missing or negative is 0.
int32_t countOf(const TiXmlElement* e) {
  int n = 0;
  intAttribute(e, "count", &n);
  return n > 0 ? n : 0;
}

int sizeOf(const TiXmlElement* e, int fallback) {
  int size = fallback;
  intAttribute(e, "size", &size);
  return size;
}

// Reads a packed real section of `count` items of `perItem` reals each into
// a new array of T (a double or a Vec3).
// The count becomes 0 when the array cannot be had.
template <class T>
void readRealSection(const TiXmlElement* parent, const char* name, int perItem, int32_t* count,
                     T** out) {
  const TiXmlElement* e = parent->FirstChildElement(name);
  *count = 0;
  *out = nullptr;
  if (!e) return;
  static_assert(sizeof(T) % sizeof(double) == 0, "sections hold doubles");
  const int perElement = static_cast<int>(sizeof(T) / sizeof(double));
  const int32_t n = countOf(e);
  T* data = newSection<T>(e, int64_t{n} * perItem / perElement);
  if (!data) return;
  readRealArray(elementText(e), sizeOf(e, 8), n * perItem, reinterpret_cast<double*>(data));
  *count = n;
  *out = data;
}

// A per-vertex array shorter than the vertex list cannot be indexed by
// vertex: treat it as absent.
template <class T>
void dropIfShort(int32_t vertexCount, int32_t* count, T** data) {
  if (*count >= vertexCount) return;
  freeArray(*data);
  *count = 0;
}

// Corner positions as weld keys. -0 is stored as +0 so that positions equal
// as doubles also hash alike.
struct WeldKey {
  double x, y, z;
};
struct WeldEqual {
  bool operator()(const WeldKey& a, const WeldKey& b) const {
    return a.x == b.x && a.y == b.y && a.z == b.z;
  }
};
WeldKey weldKey(const Vec3& v) { return WeldKey{v.x + 0.0, v.y + 0.0, v.z + 0.0}; }

// Modelled positions are often whole numbers, whose doubles differ in a few
// high bits only; Fletcher-32 sums those into few buckets and the weld walk
// turns quadratic. Every bit of the three doubles is mixed in instead.
struct WeldHash {
  uint32_t operator()(const WeldKey& k) const {
    uint64_t h = 0;
    for (double d : {k.x, k.y, k.z}) {
      uint64_t bits;
      std::memcpy(&bits, &d, sizeof bits);
      h = (h ^ bits) * 0x9E3779B97F4A7C15ull;
      h ^= h >> 29;
    }
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 32;
    return static_cast<uint32_t>(h);
  }
};

// Scratch arrays of the neighbour derivation, freed together.
struct Scratch {
  int32_t* p = nullptr;
  explicit Scratch(int64_t n) : p(n > 0 ? new (std::nothrow) int32_t[static_cast<size_t>(n)] : nullptr) {}
  ~Scratch() { delete[] p; }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  int32_t& operator[](int64_t i) { return p[i]; }
};

// Gives every corner an id: equal ids for corners at equal positions, ids
// numbered in order of first appearance, and a fresh id for each corner at a
// NaN position (it meets nothing). Each vertex is welded once, through an
// open-addressed table of representative vertices. Returns the id count, or
// -1 when memory runs out.
int32_t weldCorners(const Vec3* vertices, int32_t vertexCount, const int32_t* triangles, int64_t corners,
                    int32_t* ids) {
  Scratch idOfVertex(vertexCount);
  int64_t distinct = vertexCount < corners ? vertexCount : corners;
  int64_t capacity = 16;
  while (capacity < 2 * distinct) capacity *= 2;
  if (capacity > (int64_t{1} << 31)) return -1;
  Scratch table(capacity);  // representative vertex, or -1
  if (!idOfVertex.p || !table.p) return -1;
  std::memset(idOfVertex.p, 0xFF, sizeof(int32_t) * static_cast<size_t>(vertexCount));
  std::memset(table.p, 0xFF, sizeof(int32_t) * static_cast<size_t>(capacity));
  const uint32_t mask = static_cast<uint32_t>(capacity - 1);
  WeldHash hash;
  WeldEqual equal;
  int32_t next = 0;
  for (int64_t q = 0; q < corners; ++q) {
    const int32_t v = triangles[q];
    if (idOfVertex[v] >= 0) {
      ids[q] = idOfVertex[v];
      continue;
    }
    const WeldKey key = weldKey(vertices[v]);
    if (!(key.x == key.x && key.y == key.y && key.z == key.z)) {
      ids[q] = next++;
      continue;
    }
    uint32_t h = hash(key) & mask;
    while (table[h] >= 0 && !equal(weldKey(vertices[table[h]]), key)) h = (h + 1) & mask;
    if (table[h] < 0) {
      table[h] = v;
      idOfVertex[v] = next++;
    } else {
      idOfVertex[v] = idOfVertex[table[h]];
    }
    ids[q] = idOfVertex[v];
  }
  return next;
}

// The indices 0 .. n-1 ordered by key(i) in [0, range), equal keys in
// index order (a counting sort); `counts` holds range + 1 entries.
template <class Key>
void orderBy(int32_t n, int32_t range, int32_t* counts, int32_t* order, Key key) {
  std::memset(counts, 0, sizeof(int32_t) * (static_cast<size_t>(range) + 1));
  for (int32_t i = 0; i < n; ++i) ++counts[key(i) + 1];
  for (int32_t r = 0; r < range; ++r) counts[r + 1] += counts[r];
  for (int32_t i = 0; i < n; ++i) order[counts[key(i)]++] = i;
}

// The corner after corner q of its triangle.
inline int32_t nextCorner(int32_t q) { return q % 3 == 2 ? q - 2 : q + 1; }

}  // namespace

bool sectionFits(const TiXmlElement* section, int64_t elements) {
  if (elements <= kMaxSectionElements) return true;
  debugPrintf("Section \"%s\" count asks for %lld elements, more than %lld: ignored.", section->Value(),
              static_cast<long long>(elements), static_cast<long long>(kMaxSectionElements));
  return false;
}

void MeshData::clear() {
  std::free(name);
  name = nullptr;
  freeArray(vertices);
  freeArray(normals);
  freeArray(uvs);
  freeArray(colors);
  freeArray(triangles);
  freeArray(triangleInfos);
  freeArray(savedVertices);
  freeArray(savedColors);
  vertexCount = normalCount = uvCount = colorCount = translucentColorCount = triangleCount = 0;
  doubleSided = false;
  boundsMin = boundsMax = Vec3();
}

bool MeshData::loadXml(const TiXmlElement* element) {
  clear();
  if (!element) return true;
  name = MDL_copyString(element->Attribute("name"));
  readRealsChild(element, "min", &boundsMin.x, 3);
  readRealsChild(element, "max", &boundsMax.x, 3);
  readBoolChild(element, "double_sided", &doubleSided);

  readRealSection(element, "vertices", 3, &vertexCount, &vertices);
  readRealSection(element, "normals", 3, &normalCount, &normals);
  readRealSection(element, "uvs", 2, &uvCount, &uvs);

  if (const TiXmlElement* e = element->FirstChildElement("colors")) {
    int32_t n = countOf(e);
    colors = newSection<ColorRGBA>(e, n);
    if (colors) {
      colorCount = n;
      const char* p = elementText(e);
      for (int32_t i = 0; p && *p && i < n; ++i) {
        unsigned char rgba[4];
        int got = 0;
        p = hexDecode(p, 4, rgba, &got);
        if (got < 4) break;  // a colour cut short by the end of the text stays zero
        const double k = 0.00392156862745098;
        colors[i] = ColorRGBA{rgba[0] * k, rgba[1] * k, rgba[2] * k, rgba[3] * k};
        if (rgba[3] < 255) ++translucentColorCount;
      }
    }
  }

  dropIfShort(vertexCount, &normalCount, &normals);
  dropIfShort(vertexCount, &uvCount, &uvs);
  if (colorCount < vertexCount) {
    freeArray(colors);
    colorCount = 0;
    translucentColorCount = 0;
  }

  int32_t fileTriangles = 0;
  if (const TiXmlElement* e = element->FirstChildElement("triangles")) {
    const int32_t n = countOf(e);
    triangles = newSection<int32_t>(e, int64_t{n} * 3);
    if (triangles) {
      fileTriangles = n;
      readIntArray(elementText(e), sizeOf(e, 4), n * 3, triangles);
    }
  }
  triangleInfos = newZeroed<TriangleInfo>(fileTriangles);
  if (!triangleInfos) {
    freeArray(triangles);
    fileTriangles = 0;
  }
  for (int32_t t = 0; t < fileTriangles; ++t)
    for (int k = 0; k < 3; ++k) triangleInfos[t].neighbours[k] = -1;

  const TiXmlElement* neighbourElement = element->FirstChildElement("neighbours");
  if (neighbourElement) {
    // Exactly one triple per triangle, each read where the last one ended.
    const char* p = elementText(neighbourElement);
    int size = sizeOf(neighbourElement, 4);
    for (int32_t t = 0; p && t < fileTriangles; ++t)
      p = readIntArray(p, size, 3, triangleInfos[t].neighbours);
  }

  // Drop triangles that name a vertex outside the list, renumbering the rest
  // and the neighbour links to them.
  int32_t* newIndex = newZeroed<int32_t>(fileTriangles);
  int32_t kept = 0;
  for (int32_t t = 0; t < fileTriangles; ++t) {
    const int32_t* v = &triangles[3 * t];
    bool valid = v[0] >= 0 && v[0] < vertexCount && v[1] >= 0 && v[1] < vertexCount &&
                 v[2] >= 0 && v[2] < vertexCount;
    if (newIndex) newIndex[t] = valid ? kept : -1;
    if (!valid) continue;
    if (kept != t) {
      std::memcpy(&triangles[3 * kept], v, 3 * sizeof(int32_t));
      triangleInfos[kept] = triangleInfos[t];
    }
    ++kept;
  }
  triangleCount = kept;
  if (neighbourElement) {
    for (int32_t t = 0; t < triangleCount; ++t) {
      for (int32_t& nb : triangleInfos[t].neighbours) {
        if (nb < 0 || nb >= fileTriangles || !newIndex)
          nb = -1;
        else
          nb = newIndex[nb];
      }
    }
  }
  freeArray(newIndex);
  if (!neighbourElement) buildAdjacency();
  computeTriangleNormals();
  return true;
}

void MeshData::computeTriangleNormals() {
  for (int32_t t = 0; t < triangleCount; ++t) {
    const int32_t* v = &triangles[3 * t];
    const Vec3& p = vertices[v[0]];
    cross3(triangleInfos[t].normal, vertices[v[1]] - p, vertices[v[2]] - p);
    triangleInfos[t].facesLight = 0;
  }
}

// Triangles meet across an edge when its two corners sit at equal positions
// (as doubles; NaN meets nothing). Each triangle, in order, takes for each
// edge the first earlier triangle holding it, and that triangle's matching
// edge (its first) is pointed back at the later one. Where one triangle's
// edge avoids its corner 0, an earlier triangle on all three of its corners
// goes first. Corners are welded to ids, and the first holder of every edge
// and of every corner set is found by sorting, so the work is linear and
// needs no per-entry allocation.
void MeshData::buildAdjacency() {
  if (triangleCount <= 0) return;
  const int64_t cornerCount = int64_t{triangleCount} * 3;
  if (cornerCount > INT32_MAX) return;
  const int32_t n = triangleCount, corners = static_cast<int32_t>(cornerCount);
  // ids: welded corner ids. order: scratch. group: for each edge q (from
  // corner q to the next), the first edge with the same pair of ids.
  Scratch ids(corners), order(corners), group(corners), faces(int64_t{n} * 4);
  if (!ids.p || !order.p || !group.p || !faces.p) return;
  const int32_t idCount = weldCorners(vertices, vertexCount, triangles, corners, ids.p);
  if (idCount < 0) return;
  Scratch counts(int64_t{idCount} + 1), seen(idCount);
  if (!counts.p || !seen.p) return;

  // Edges by their lower id, then within each run of equal lower ids the
  // first edge seen with each higher id leads its group.
  auto lowId = [&ids](int32_t q) { return std::min(ids[q], ids[nextCorner(q)]); };
  auto highId = [&ids](int32_t q) { return std::max(ids[q], ids[nextCorner(q)]); };
  orderBy(corners, idCount, counts.p, order.p, lowId);
  std::memset(seen.p, 0xFF, sizeof(int32_t) * static_cast<size_t>(idCount));
  for (int32_t i = 0; i < corners; ++i) {
    const int32_t q = order[i], lo = lowId(q), hi = highId(q);
    const int32_t lead = seen[hi];
    if (lead >= 0 && lowId(lead) == lo) {
      group[q] = lead;
    } else {
      seen[hi] = q;
      group[q] = q;
    }
  }

  // Triangles on the same corners: the same group for their two lowest ids
  // and the same highest id. Bucketed by the highest id, the first triangle
  // seen with each group leads.
  int32_t* faceTop = faces.p;           // highest id
  int32_t* faceEdge = faces.p + n;      // group of the edge of the two lowest ids
  int32_t* faceOrder = faces.p + 2 * n;
  int32_t* sameFace = faces.p + 3 * n;  // first triangle on the same corners
  for (int32_t t = 0; t < n; ++t) {
    const int32_t* c = &ids[3 * t];
    // The edge that avoids the highest corner joins the two lowest.
    int k = 0;
    if (c[1] >= c[0] && c[1] >= c[2]) k = 2;       // corner 1 highest: edge 2 (2 -> 0)
    else if (c[0] >= c[1] && c[0] >= c[2]) k = 1;  // corner 0 highest: edge 1 (1 -> 2)
    faceTop[t] = std::max(c[0], std::max(c[1], c[2]));
    faceEdge[t] = group[3 * t + k];
  }
  orderBy(n, idCount, counts.p, faceOrder, [faceTop](int32_t t) { return faceTop[t]; });
  int32_t* faceSeen = order.p;  // by edge group, which is an edge index
  std::memset(faceSeen, 0xFF, sizeof(int32_t) * static_cast<size_t>(corners));
  for (int32_t i = 0; i < n; ++i) {
    const int32_t t = faceOrder[i];
    const int32_t lead = faceSeen[faceEdge[t]];
    if (lead >= 0 && faceTop[lead] == faceTop[t]) {
      sameFace[t] = lead;
    } else {
      faceSeen[faceEdge[t]] = t;
      sameFace[t] = t;
    }
  }

  for (int32_t t = 0; t < n; ++t) {
    const int32_t own0 = ids[3 * t];
    TriangleInfo& info = triangleInfos[t];
    for (int k = 0; k < 3; ++k) {
      const int32_t q = 3 * t + k, g = group[q];
      int32_t other = g / 3;
      if (other >= t) continue;
      if (ids[q] != own0 && ids[nextCorner(q)] != own0 && sameFace[t] < t) other = sameFace[t];
      info.neighbours[k] = other;
      for (int j = 0; j < 3; ++j) {
        if (group[3 * other + j] == g) {
          triangleInfos[other].neighbours[j] = t;
          break;
        }
      }
    }
  }
}

void AnimationData::clear() {
  std::free(name);
  name = nullptr;
  freeArray(times);
  freeArray(locations);
  freeArray(rotations);
  freeArray(scales);
  keyCount = 0;
}

bool AnimationData::allocateKeys(int32_t n) {
  freeArray(times);
  freeArray(locations);
  freeArray(rotations);
  freeArray(scales);
  keyCount = 0;
  times = newZeroed<double>(n);
  locations = newZeroed<Vec3>(n);
  rotations = newZeroed<Vec3>(n);
  scales = newZeroed<Vec3>(n);
  if (!times || !locations || !rotations || !scales) {
    freeArray(times);
    freeArray(locations);
    freeArray(rotations);
    freeArray(scales);
    return n <= 0;
  }
  keyCount = n;
  return true;
}

bool AnimationData::loadXml(const TiXmlElement* element) {
  clear();
  if (!element) return true;
  name = MDL_copyString(element->Attribute("name"));
  const TiXmlElement* keys = element->FirstChildElement("keys");
  if (!keys) return true;
  const int32_t n = countOf(keys);
  if (!allocateKeys(sectionFits(keys, n) ? n : 0)) return true;
  int32_t i = 0;
  for (const TiXmlElement* key = keys->FirstChildElement("key"); key && i < keyCount;
       key = key->NextSiblingElement("key"), ++i) {
    realAttribute(key, "time", &times[i]);
    readRealsChild(key, "location", &locations[i].x, 3);
    readRealsChild(key, "rotation", &rotations[i].x, 3);
    readRealsChild(key, "scale", &scales[i].x, 3);
  }
  return true;
}

void AnimatedMeshData::clear() {
  std::free(name);
  name = nullptr;
  freeArray(vertexIndices);
  freeArray(restPositions);
  freeArray(restNormals);
  freeArray(weights);
  count = weightCount = 0;
}

bool AnimatedMeshData::loadXml(const TiXmlElement* element) {
  clear();
  if (!element) return true;
  name = MDL_copyString(element->Attribute("name"));
  if (const TiXmlElement* e = element->FirstChildElement("vertices")) {
    int32_t n = countOf(e);
    vertexIndices = newSection<int32_t>(e, n);
    if (vertexIndices) {
      count = n;
      readIntArray(elementText(e), sizeOf(e, 4), n, vertexIndices);
    }
  }
  readRealSection(element, "weights", 1, &weightCount, &weights);
  return true;
}
