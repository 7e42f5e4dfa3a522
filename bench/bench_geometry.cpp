// Geometry benchmarks: loading packed mesh XML, deriving neighbours through
// the weld map, and picking. Each scene is a square grid of side quads
// (2 side^2 triangles); per-triangle time should stay flat as side grows.
#include <benchmark/benchmark.h>
#include <tinyxml.h>

#include <cstdio>
#include <string>
#include <vector>

#include "model/mesh.h"
#include "model/mesh_data.h"

namespace {

std::string hex(const void* data, size_t n) {
  static const char* digits = "0123456789abcdef";
  const unsigned char* b = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(n * 2 + n / 32);
  for (size_t i = 0; i < n; ++i) {
    out += digits[b[i] >> 4];
    out += digits[b[i] & 15];
    if (i % 32 == 31) out += '\n';
  }
  return out;
}

// A grid whose quads each have their own four vertices (flat-shaded
// export), so every neighbour must be found by position.
std::string gridXml(int side) {
  std::vector<double> v;
  std::vector<int32_t> t;
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) {
      int32_t base = static_cast<int32_t>(v.size() / 3);
      const double c[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
      for (auto& p : c) v.insert(v.end(), {x + p[0], y + p[1], 0.0});
      t.insert(t.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
    }
  char head[256];
  std::snprintf(head, sizeof head, "<mesh name=\"grid\"><min>0 0 0</min><max>%d %d 0</max>", side, side);
  return std::string(head) + "<vertices count=\"" + std::to_string(v.size() / 3) + "\" size=\"8\">" +
         hex(v.data(), v.size() * 8) + "</vertices><triangles count=\"" + std::to_string(t.size() / 3) +
         "\" size=\"4\">" + hex(t.data(), t.size() * 4) + "</triangles></mesh>";
}

void grid_load_with_adjacency(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  TiXmlDocument doc;
  doc.Parse(gridXml(side).c_str());
  for (auto _ : state) {
    MeshData mesh;
    mesh.loadXml(doc.RootElement());
    benchmark::DoNotOptimize(mesh.triangleInfos);
  }
  state.SetItemsProcessed(state.iterations() * 2 * side * side);
}
BENCHMARK(grid_load_with_adjacency)->Arg(16)->Arg(64)->Arg(256);

void grid_adjacency_only(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  TiXmlDocument doc;
  doc.Parse(gridXml(side).c_str());
  MeshData mesh;
  mesh.loadXml(doc.RootElement());
  for (auto _ : state) {
    for (int32_t i = 0; i < mesh.triangleCount; ++i)
      for (int32_t& n : mesh.triangleInfos[i].neighbours) n = -1;
    mesh.buildAdjacency();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * mesh.triangleCount);
}
BENCHMARK(grid_adjacency_only)->Arg(16)->Arg(64)->Arg(256)->Arg(708);

void grid_pick(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  TiXmlDocument doc;
  doc.Parse(gridXml(side).c_str());
  MeshData data;
  data.loadXml(doc.RootElement());
  MDL_Mesh mesh;
  mesh.meshData = &data;
  double x = 0.3;
  for (auto _ : state) {
    double nearest = 1.0;
    int32_t triangle = -1;
    bool hit = mesh.raycast(Vec3(x, side * 0.5, 5), Vec3(x, side * 0.5, -5), nearest, triangle);
    benchmark::DoNotOptimize(hit);
    x += 0.7;
    if (x > side) x -= side;
  }
  state.SetItemsProcessed(state.iterations() * data.triangleCount);
}
BENCHMARK(grid_pick)->Arg(16)->Arg(64)->Arg(256);

}  // namespace

BENCHMARK_MAIN();
