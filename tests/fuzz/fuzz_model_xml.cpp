// The model XML readers on any text: meshes, keyframe tracks and weighted
// vertex groups, with their counts, packed values and neighbour lists.
#include <cstddef>
#include <cstdint>
#include <string>

#include <tinyxml.h>

#include "fuzz_bounds.h"
#include "fuzz_support.h"
#include "model/mesh_data.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::quietLog();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1 << 16)) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!asksForLittle(text)) return 0;
  TiXmlDocument doc;
  doc.Parse(text.c_str());
  for (const TiXmlElement* e = doc.FirstChildElement(); e; e = e->NextSiblingElement()) {
    MeshData mesh;
    mesh.loadXml(e);
    AnimationData animation;
    animation.loadXml(e);
    AnimatedMeshData group;
    group.loadXml(e);
  }
  return 0;
}
