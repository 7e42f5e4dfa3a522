// Hand-made meshes and placements for tests of geometry and rendering.
#pragma once

#include "model/mesh_data.h"
#include "model/object.h"

namespace testgeometry {

// New geometry with normals, neighbours and face normals; the caller owns it.
MeshData* quadData(double half, bool doubleSided = false);  // z = 0, facing +z
MeshData* cubeData(double half);                            // centred, faces out
MeshData* gridData(int cells, double half);                 // z = 0, facing +z, 2 cells^2 triangles

// Places an object at eye looking at target, world z up.
void lookAt(MDL_Object* object, const Vec3& eye, const Vec3& target);
void placeAt(MDL_Object* object, const Vec3& position);

}  // namespace testgeometry
