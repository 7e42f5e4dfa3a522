// Loading a models set holding one 100,000-triangle mesh in packed hex
// (every pass, adjacency included) against TinyXML's parse of the same text
// alone: the ratio says what the loader adds beyond reading the XML. Sets of
// 20,000 and 100,000 objects, each linked to a parent by name, show how the
// object passes grow.
#include <benchmark/benchmark.h>
#include <tinyxml.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "controller/ctrl_generic.h"
#include "controller/models_set.h"
#include "controller/package_writer.h"
#include "model/mesh_data.h"

namespace {

constexpr int kColumns = 250, kRows = 200;  // 50,000 quads, two triangles each

std::string hex(const void* data, size_t n) {
  static const char* digits = "0123456789abcdef";
  const unsigned char* b = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(n * 2 + n / 16);
  for (size_t i = 0; i < n; ++i) {
    if (i && i % 32 == 0) out += '\n';
    out += digits[b[i] >> 4];
    out += digits[b[i] & 15];
  }
  return out;
}

// A wavy grid as a models set: packed float positions and normals, 32-bit
// indices, no neighbours (the loader works them out), one object.
std::string gridXmlOf(int columns, int rows) {
  std::vector<float> v, n;
  for (int y = 0; y <= rows; ++y)
    for (int x = 0; x <= columns; ++x) {
      v.insert(v.end(), {x * 0.1f, y * 0.1f, static_cast<float>((x * 7 + y * 3) % 5) * 0.01f});
      n.insert(n.end(), {0.f, 0.f, 1.f});
    }
  std::vector<int32_t> t;
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < columns; ++x) {
      int32_t a = y * (columns + 1) + x, b = a + 1, c = a + columns + 1, d = c + 1;
      t.insert(t.end(), {a, b, d, a, d, c});
    }
  const int vertices = static_cast<int>(v.size() / 3), triangles = static_cast<int>(t.size() / 3);
  return "<materials><material name=\"m\"><diffuse>0.5 0.5 0.5</diffuse></material></materials>\n"
         "<meshes><mesh name=\"grid\"><min>0 0 0</min><max>25 20 0.04</max>\n<vertices count=\"" +
         std::to_string(vertices) + "\" size=\"4\">" + hex(v.data(), v.size() * 4) + "</vertices>\n<normals count=\"" +
         std::to_string(vertices) + "\" size=\"4\">" + hex(n.data(), n.size() * 4) + "</normals>\n<triangles count=\"" +
         std::to_string(triangles) + "\" size=\"4\">" + hex(t.data(), t.size() * 4) +
         "</triangles></mesh></meshes>\n"
         "<objects><object type=\"Mesh\" name=\"grid\"><mesh>grid</mesh><material>m</material></object></objects>\n";
}

const std::string& gridXml() {
  static const std::string xml = gridXmlOf(kColumns, kRows);
  return xml;
}

// n plain objects, object i the child of object i / 2 (named by its number).
std::string objectsXml(int n) {
  std::string xml = "<objects>";
  for (int i = 0; i < n; ++i) {
    xml += "<object type=\"None\" name=\"o" + std::to_string(i) + "\">";
    if (i > 0) xml += "<parent>o" + std::to_string(i / 2) + "</parent>";
    xml += "</object>\n";
  }
  return xml + "</objects>\n";
}

// A controller with a package holding one models file.
std::unique_ptr<CTRL_Generic> openWith(const std::string& name, const std::string& xml) {
  std::vector<PackageEntry> entries = {
      {"config.xml", "<trelm><version major=\"1\" minor=\"6\" patch=\"4\"/></trelm>\n"},
      {name, xml},
  };
  std::vector<uint8_t> bytes;
  buildPackage(entries, true, testSigningKey(), &bytes);
  auto controller = std::make_unique<CTRL_Generic>();
  auto buffer = std::make_unique<ByteBuffer>();
  buffer->resize(static_cast<int32_t>(bytes.size()));
  memcpy(buffer->data, bytes.data(), bytes.size());
  if (!controller->openPackage(std::move(buffer))) return nullptr;
  return controller;
}

void models_set_load_objects(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::unique_ptr<CTRL_Generic> controller = openWith("objects.xml", objectsXml(n));
  if (!controller) {
    state.SkipWithError("package refused");
    return;
  }
  for (auto _ : state) {
    ModelsSet* set = controller->loadModelsSet("objects.xml");
    if (!set || set->objects.count != n || (n > 1 && !set->objects[n - 1]->parent))
      state.SkipWithError("objects not loaded");
    state.PauseTiming();
    if (set) {
      controller->resources.modelsSets.removeFirst(set);
      set->destroy();
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * n);
}

// Grids of about 10,000, 100,000 and 1,000,000 triangles: the load's cost
// per triangle should not grow with the mesh.
void models_set_load_triangles(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  std::unique_ptr<CTRL_Generic> controller = openWith("grid.xml", gridXmlOf(side, side));
  if (!controller) {
    state.SkipWithError("package refused");
    return;
  }
  for (auto _ : state) {
    ModelsSet* set = controller->loadModelsSet("grid.xml");
    if (!set || set->meshes.count != 1 || set->meshes[0]->triangleCount != 2 * side * side)
      state.SkipWithError("grid not loaded");
    state.PauseTiming();
    if (set) {
      controller->resources.modelsSets.removeFirst(set);
      set->destroy();
    }
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 2 * side * side);
}

void tinyxml_parse_triangles(benchmark::State& state) {
  const int side = static_cast<int>(state.range(0));
  const std::string xml = gridXmlOf(side, side);
  for (auto _ : state) {
    TiXmlDocument doc("grid.xml");
    doc.Parse(xml.c_str());
    if (doc.Error()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc.FirstChildElement());
  }
  state.SetItemsProcessed(state.iterations() * 2 * side * side);
}

void tinyxml_parse_objects(benchmark::State& state) {
  const std::string xml = objectsXml(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TiXmlDocument doc("objects.xml");
    doc.Parse(xml.c_str());
    if (doc.Error()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc.FirstChildElement());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

void tinyxml_parse_grid(benchmark::State& state) {
  const std::string& xml = gridXml();
  for (auto _ : state) {
    TiXmlDocument doc("grid.xml");
    doc.Parse(xml.c_str());
    if (doc.Error()) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(doc.FirstChildElement());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * xml.size()));
}

void models_set_load_grid(benchmark::State& state) {
  std::vector<PackageEntry> entries = {
      {"config.xml", "<trelm><version major=\"1\" minor=\"6\" patch=\"4\"/></trelm>\n"},
      {"grid.xml", gridXml()},
  };
  std::vector<uint8_t> bytes;
  buildPackage(entries, true, testSigningKey(), &bytes);
  CTRL_Generic controller;
  auto buffer = std::make_unique<ByteBuffer>();
  buffer->resize(static_cast<int32_t>(bytes.size()));
  memcpy(buffer->data, bytes.data(), bytes.size());
  if (!controller.openPackage(std::move(buffer))) {
    state.SkipWithError("package refused");
    return;
  }
  for (auto _ : state) {
    ModelsSet* set = controller.loadModelsSet("grid.xml");
    if (!set || set->meshes.count != 1 || set->meshes[0]->triangleCount != 2 * kColumns * kRows)
      state.SkipWithError("grid not loaded");
    state.PauseTiming();
    if (set) {
      controller.resources.modelsSets.removeFirst(set);
      set->destroy();
    }
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gridXml().size()));
}

BENCHMARK(tinyxml_parse_grid)->Unit(benchmark::kMillisecond);
BENCHMARK(models_set_load_grid)->Unit(benchmark::kMillisecond);
BENCHMARK(models_set_load_triangles)->Arg(71)->Arg(224)->Arg(708)->Unit(benchmark::kMillisecond);
BENCHMARK(tinyxml_parse_triangles)->Arg(71)->Arg(224)->Arg(708)->Unit(benchmark::kMillisecond);
BENCHMARK(models_set_load_objects)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(tinyxml_parse_objects)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double load = reporter.of("models_set_load_grid"), parse = reporter.of("tinyxml_parse_grid");
  if (load > 0 && parse > 0)
    printf("\nload %.2f ms, parse alone %.2f ms, ratio %.3f (aim: at most 1.5)\n", load * 1e3, parse * 1e3,
           load / parse);
  printf("\ntriangles   ns per triangle: load, parse alone, the load's own\n");
  for (int side : {71, 224, 708}) {
    const double t = reporter.of("models_set_load_triangles/" + std::to_string(side));
    const double p = reporter.of("tinyxml_parse_triangles/" + std::to_string(side));
    const double n = 2.0 * side * side;
    if (t > 0 && p > 0) printf("%9.0f   %8.1f %8.1f %8.1f\n", n, t * 1e9 / n, p * 1e9 / n, (t - p) * 1e9 / n);
  }
  const double small = reporter.of("models_set_load_objects/20000"),
               large = reporter.of("models_set_load_objects/100000");
  if (small > 0 && large > 0)
    printf("objects: 20,000 in %.1f ms, 100,000 in %.1f ms, growth %.2f for 5 x the objects (linear: 5)\n", small * 1e3,
           large * 1e3, large / small);
  const double parseSmall = reporter.of("tinyxml_parse_objects/20000"),
               parseLarge = reporter.of("tinyxml_parse_objects/100000");
  if (parseSmall > 0 && parseLarge > 0)
    printf("objects parse alone: 20,000 in %.1f ms, 100,000 in %.1f ms, growth %.2f\n", parseSmall * 1e3,
           parseLarge * 1e3, parseLarge / parseSmall);
  benchmark::Shutdown();
  return 0;
}
