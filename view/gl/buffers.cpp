// The buffer objects of meshes' shared data: uploaded once, dropped when a
// script changed the data, left to client arrays when the driver refuses.
#include <GL/glew.h>

#include <new>

#include "core/assert.h"
#include "model/scene.h"
#include "view/gl/mesh_arrays.h"
#include "view/opengl.h"

namespace {

void deleteBuffers(MeshBuffers* buffers) {
  glDeleteBuffers(1, &buffers->indexBuffer);
  glDeleteBuffers(1, &buffers->vertexBuffer);
  delete buffers;
}

// Errors left by earlier calls would read as an upload failure.
void drainErrors() {
  for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

MeshBuffers* upload(MDL_Mesh& mesh) {
  const MeshData& data = *mesh.meshData;
  const MeshArrays arrays(mesh);
  MeshBuffers* buffers = new (std::nothrow) MeshBuffers{0, 0};
  if (!buffers) return nullptr;
  drainErrors();
  glGenBuffers(1, &buffers->vertexBuffer);
  glGenBuffers(1, &buffers->indexBuffer);
  glBindBuffer(GL_ARRAY_BUFFER, buffers->vertexBuffer);
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(arrays.bufferSize()), nullptr, GL_DYNAMIC_COPY);
  const GLsizeiptr n = arrays.vertices;
  glBufferSubData(GL_ARRAY_BUFFER, 0, n * 24, mesh.vertex(0));
  if (arrays.normals) glBufferSubData(GL_ARRAY_BUFFER, arrays.normalOffset(), n * 24, mesh.normal(0));
  if (arrays.colors) glBufferSubData(GL_ARRAY_BUFFER, arrays.colorOffset(), n * 32, data.colors);
  if (arrays.uvs) glBufferSubData(GL_ARRAY_BUFFER, arrays.uvOffset(), n * 16, data.uvs);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers->indexBuffer);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(data.triangleCount) * 12, data.triangles, GL_DYNAMIC_COPY);
  // Any failure (out of memory above all) leaves the mesh on client arrays.
  const bool failed = glGetError() != GL_NO_ERROR;
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  if (!failed) return buffers;
  deleteBuffers(buffers);
  return nullptr;
}

}  // namespace

void VIEW_OpenGL::forgetMeshData(const MeshData* data) {
  if (MeshBuffers** buffers = meshBuffers.find(data)) {
    deleteBuffers(*buffers);
    meshBuffers.remove(data);
  }
}

void VIEW_OpenGL::uploadBuffers(Scene* scene) {
  if (geometryPath != kGeometryBufferObjects) return;
  for (int32_t i = 0; i < scene->meshes.count; ++i) {
    MDL_Mesh* mesh = listItem<MDL_Mesh>(scene->meshes, i);
    VS_ASSERT(mesh);
    MeshData* data = mesh->meshData;
    if (mesh->geometryDirty) {
      if (data && mesh->type == OBJECT_MESH) {
        if (MeshBuffers** old = meshBuffers.find(data)) {
          deleteBuffers(*old);
          meshBuffers.remove(data);
        }
      }
      mesh->geometryDirty = false;
    }
    if (!drawnFromBuffers(*mesh) || !data || data->vertexCount <= 0 || data->triangleCount <= 0 || !mesh->vertex(0) ||
        !data->triangles || meshBuffers.find(data))
      continue;
    MeshBuffers* buffers = upload(*mesh);
    if (!buffers) continue;
    if (MeshBuffers** slot = meshBuffers.insert(data))
      *slot = buffers;
    else
      deleteBuffers(buffers);
  }
}
