// Which lamp casts a scene's stencil shadows, and which meshes cast them.
// The renderer and the frame step both ask here, so they always agree.
#pragma once

#include <cstdint>

class Scene;
class MDL_Lamp;
class MDL_Mesh;

// The fixed-function pipeline has eight lights; lamps past the eighth that
// is on give no light.
constexpr int32_t kMaxLights = 8;

// The first lamp that is on and casts shadows among the first eight lamps
// that are on; null when there is none. *lightIndex (when given) gets its
// light number, counted over the lamps that are on.
MDL_Lamp* findShadowLamp(const Scene& scene, int32_t* lightIndex = nullptr);

// A visible mesh with triangles whose material is absent or casts shadows
// and is not translucent.
bool castsShadow(MDL_Mesh* mesh);

// Brings the volume of every caster of the scene up to date for its shadow
// lamp, then marks the lamp as seen. Nothing without a shadow lamp.
void updateShadowVolumes(Scene& scene);
