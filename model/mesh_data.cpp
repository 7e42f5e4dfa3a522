#include "model/mesh_data.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include <tinyxml.h>

#include "core/debug_log.h"
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
  T* data = newZeroed<T>(n);
  if (!data && n > 0)
    debugPrintf("Section \"%s\" of %lld elements does not fit in memory: dropped.", e->Value(),
                static_cast<long long>(n));
  return data;
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
void readRealSection(const TiXmlElement* parent, const char* name, int perItem, int32_t* count, T** out) {
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
  bool operator()(const WeldKey& a, const WeldKey& b) const { return a.x == b.x && a.y == b.y && a.z == b.z; }
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

// Welds the vertices that the triangles use: rep[v] becomes the first used
// vertex (in corner order) at v's position, a negative value for a vertex
// at a NaN position (it meets nothing), -1 for a vertex no triangle uses.
// Each vertex is looked up once, in an open-addressed table of the first
// vertices. False when memory runs out.
bool weldVertices(const Vec3* vertices, int32_t vertexCount, const int32_t* triangles, int32_t corners, int32_t* rep) {
  const int64_t distinct = vertexCount < corners ? vertexCount : corners;
  int64_t capacity = 16;
  while (capacity < 2 * distinct) capacity *= 2;
  if (capacity > (int64_t{1} << 31)) return false;
  Scratch table(capacity);  // a first vertex, or -1
  if (!table.p) return false;
  std::memset(rep, 0xFF, sizeof(int32_t) * static_cast<size_t>(vertexCount));
  std::memset(table.p, 0xFF, sizeof(int32_t) * static_cast<size_t>(capacity));
  const uint32_t mask = static_cast<uint32_t>(capacity - 1);
  WeldHash hash;
  WeldEqual equal;
  // Corners go in blocks: the table slots of a block are asked for from
  // memory first and probed after, so a large mesh does not wait on one
  // cache miss per vertex in turn. The probes keep corner order.
  constexpr int32_t kBlock = 32;
  uint32_t slots[kBlock];
  for (int32_t base = 0; base < corners; base += kBlock) {
    const int32_t end = corners - base < kBlock ? corners : base + kBlock;
    for (int32_t q = base; q < end; ++q) {
      const int32_t v = triangles[q];
      if (rep[v] != -1) continue;
      slots[q - base] = hash(weldKey(vertices[v])) & mask;
#if defined(__GNUC__)
      __builtin_prefetch(&table[slots[q - base]]);
#endif
    }
    for (int32_t q = base; q < end; ++q) {
      const int32_t v = triangles[q];
      if (rep[v] != -1) continue;
      const WeldKey key = weldKey(vertices[v]);
      if (!(key.x == key.x && key.y == key.y && key.z == key.z)) {
        rep[v] = INT32_MIN;
        continue;
      }
      uint32_t h = slots[q - base];
      while (table[h] >= 0 && !equal(weldKey(vertices[table[h]]), key)) h = (h + 1) & mask;
      if (table[h] < 0) table[h] = v;
      rep[v] = table[h];
    }
  }
  return true;
}

// The indices 0 .. n-1 whose key(i) is not negative, ordered by key in
// [0, range), equal keys in index order (a counting sort); `counts` holds
// range + 1 entries. Returns how many were ordered.
template <class Key>
int32_t orderBy(int32_t n, int32_t range, int32_t* counts, int32_t* order, Key key) {
  std::memset(counts, 0, sizeof(int32_t) * (static_cast<size_t>(range) + 1));
  for (int32_t i = 0; i < n; ++i) {
    const int32_t k = key(i);
    if (k >= 0) ++counts[k + 1];
  }
  for (int32_t r = 0; r < range; ++r) counts[r + 1] += counts[r];
  const int32_t placed = counts[range];
  for (int32_t i = 0; i < n; ++i) {
    const int32_t k = key(i);
    if (k >= 0) order[counts[k]++] = i;
  }
  return placed;
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
  vertexCount = normalCount = uvCount = colorCount = givenColorCount = translucentColorCount = triangleCount = 0;
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
      colorCount = givenColorCount = n;
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
    // Too few to draw, but the colours given stay for the scripts.
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
    if (fileTriangles > 0)
      debugPrintf("Mesh %s: the links of its %d triangles do not fit in memory: its triangles are dropped.",
                  name ? name : "", fileTriangles);
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
    for (int32_t t = 0; p && t < fileTriangles; ++t) p = readIntArray(p, size, 3, triangleInfos[t].neighbours);
  }

  // Drop triangles that name a vertex outside the list, renumbering the rest
  // and the neighbour links to them.
  int32_t* newIndex = newZeroed<int32_t>(fileTriangles);
  int32_t kept = 0;
  for (int32_t t = 0; t < fileTriangles; ++t) {
    const int32_t* v = &triangles[3 * t];
    bool valid = v[0] >= 0 && v[0] < vertexCount && v[1] >= 0 && v[1] < vertexCount && v[2] >= 0 && v[2] < vertexCount;
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
// goes first. Corners are welded to ids and edges bucketed by id, so the
// work is linear with no per-entry allocation; only triangles on an edge
// that three or more share are sorted.
void MeshData::buildAdjacency() {
  if (triangleCount <= 0 || vertexCount <= 0) return;
  const int64_t cornerCount = int64_t{triangleCount} * 3;
  if (cornerCount > INT32_MAX) return;
  const int32_t n = triangleCount, corners = static_cast<int32_t>(cornerCount);
  // rep: each used vertex's first vertex at its position. order: scratch.
  // group: for each edge q (from corner q to the next), the first edge
  // joining the same two positions.
  Scratch rep(vertexCount), order(corners), group(corners), counts(int64_t{vertexCount} + 1),
      seen(int64_t{vertexCount} * 2);
  if (!rep.p || !order.p || !group.p || !counts.p || !seen.p) return;
  if (!weldVertices(vertices, vertexCount, triangles, corners, rep.p)) return;
  const int32_t* tri = triangles;
  // A corner's id: its first vertex, or for a NaN position a negative id of its own.
  auto id = [&rep, tri](int32_t q) {
    const int32_t r = rep[tri[q]];
    return r >= 0 ? r : -1 - q;
  };
  auto lowId = [&id](int32_t q) { return std::min(id(q), id(nextCorner(q))); };

  // Edges by their lower id (those on a NaN position lead groups of their
  // own); within each run of equal lower ids the first edge seen with each
  // higher id leads its group.
  for (int32_t q = 0; q < corners; ++q) group[q] = q;
  const int32_t placed = orderBy(corners, vertexCount, counts.p, order.p, lowId);
  int32_t* lead = seen.p;                // by higher id: the group's first edge
  int32_t* size = seen.p + vertexCount;  // by higher id: the group's edges so far
  std::memset(lead, 0xFF, sizeof(int32_t) * static_cast<size_t>(vertexCount));
  bool crowded = false;  // some group holds three edges or more
  for (int32_t i = 0; i < placed; ++i) {
    const int32_t q = order[i], a = id(q), b = id(nextCorner(q));
    const int32_t lo = std::min(a, b), hi = std::max(a, b);
    const int32_t first = lead[hi];
    if (first >= 0 && lowId(first) == lo) {
      group[q] = first;
      crowded |= ++size[hi] > 2;
    } else {
      lead[hi] = q;
      size[hi] = 1;
    }
  }

  // An earlier triangle on the same corners can only change the answer
  // where an edge group holds three triangles or more: elsewhere a group is
  // one earlier triangle and this one. Only triangles on such a crowded
  // group are compared, by sorting.
  int32_t* sameFace = nullptr;  // the first triangle on the same corners, or the triangle itself
  if (crowded) {
    int32_t* members = order.p;  // edges per group, by the group's lead
    std::memset(members, 0, sizeof(int32_t) * static_cast<size_t>(corners));
    for (int32_t q = 0; q < corners; ++q) ++members[group[q]];
    auto onCrowded = [&](int32_t t) {
      return members[group[3 * t]] > 2 || members[group[3 * t + 1]] > 2 || members[group[3 * t + 2]] > 2;
    };
    int32_t crowdedCount = 0;
    for (int32_t t = 0; t < n; ++t) crowdedCount += onCrowded(t);
    struct Face {
      int64_t key;  // group of the edge of the two lowest ids, then the highest id
      int32_t t;
    };
    Face* shared = new (std::nothrow) Face[static_cast<size_t>(crowdedCount)];
    if (!shared) return;
    int32_t m = 0;
    for (int32_t t = 0; t < n; ++t) {
      if (!onCrowded(t)) continue;
      const int32_t c[3] = {id(3 * t), id(3 * t + 1), id(3 * t + 2)};
      // The edge that avoids the highest corner joins the two lowest.
      int k = 0;
      if (c[1] >= c[0] && c[1] >= c[2])
        k = 2;
      else if (c[0] >= c[1] && c[0] >= c[2])
        k = 1;
      const int32_t top = std::max(c[0], std::max(c[1], c[2]));
      shared[m++] = Face{int64_t{group[3 * t + k]} << 32 | static_cast<uint32_t>(top), t};
    }
    std::sort(shared, shared + crowdedCount,
              [](const Face& a, const Face& b) { return a.key != b.key ? a.key < b.key : a.t < b.t; });
    sameFace = order.p;
    for (int32_t t = 0; t < n; ++t) sameFace[t] = t;
    for (int32_t i = 0; i < crowdedCount; ++i)
      sameFace[shared[i].t] = i > 0 && shared[i - 1].key == shared[i].key ? sameFace[shared[i - 1].t] : shared[i].t;
    delete[] shared;
  }

  for (int32_t t = 0; t < n; ++t) {
    TriangleInfo& info = triangleInfos[t];
    for (int k = 0; k < 3; ++k) {
      const int32_t q = 3 * t + k, g = group[q];
      int32_t other = g / 3;
      if (other >= t) continue;
      // An edge clear of corner 0 meets an earlier triangle on the same corners first.
      if (sameFace && sameFace[t] < t) {
        const int32_t own0 = id(3 * t);
        if (id(q) != own0 && id(nextCorner(q)) != own0) other = sameFace[t];
      }
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
