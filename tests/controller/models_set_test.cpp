// The models-set loader on files read from a signed package by the real
// controller: section order, the three object passes, and hostile files.
#include "controller/models_set.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "controller/ctrl_generic.h"
#include "model/animated_mesh.h"
#include "model/bone.h"
#include "model/collision_volume.h"
#include "model/image_source.h"
#include "model/lamp.h"
#include "model/material.h"
#include "model/mesh.h"
#include "model/mesh_data.h"
#include "platform/testing.h"
#include "support/memory_cap.h"
#include "support/models_xml.h"
#include "support/test_package.h"

namespace {

using namespace modelsxml;

// The controller of a package holding one models file, sets.xml.
struct Loaded {
  std::unique_ptr<testpkg::RecordingController> ctrl;
  ModelsSet* set = nullptr;
  explicit Loaded(const std::string& xml) {
    ctrl = testpkg::openMembers({{"sets.xml", xml + "\n"}});
    EXPECT_NE(ctrl->package, nullptr);
    set = ctrl->loadModelsSet("sets.xml");
  }
  MDL_Object* operator[](const char* name) const { return set ? set->findByName(name) : nullptr; }
};

std::string object(const char* type, const char* name, const std::string& inner = "") {
  return std::string("<object type=\"") + type + "\" name=\"" + name + "\">" + inner + "</object>";
}
std::string child(const char* element, const std::string& text) {
  return std::string("<") + element + ">" + text + "</" + element + ">";
}
std::string objects(const std::string& inner) { return "<objects>" + inner + "</objects>"; }

TEST(ModelsSetLoader, EverySectionIsReadWhateverTheOrderOfTheFile) {
  // Objects first, textures last: names are resolved after every section
  // of their kind is read.
  const std::vector<double> tri = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  Loaded l(objects(object("Mesh", "child",
                          child("parent", "root") + child("mesh", "tri") + child("material", "red") +
                              child("matrix", translation(1, 0, 0))) +
                   object("RigidBody", "body") + object("Text", "label") +
                   object("Locator", "root", child("matrix", translation(0, 0, 5))) +
                   object("Lamp", "sun", child("type", "Sun") + child("parent", "root")) +
                   object("Camera", "eye", child("angle", "90")) + object("Bogus", "x") + object("None", "plain")) +
           "<meshes><mesh name=\"tri\">" + section("vertices", 3, 8, hexDoubles(tri)) +
           section("triangles", 1, 4, hexInt32({0, 1, 2})) +
           "</mesh></meshes>"
           "<materials><material name=\"red\"><diffuse>1 0 0</diffuse><alpha>0.5</alpha>"
           "<texture>skin</texture><color>0.5 0.5 0.5 0.25</color></material></materials>"
           "<animations><animation name=\"Walk\"><keys count=\"1\"><key time=\"0.5\"/></keys></animation></animations>"
           "<textures><texture name=\"skin\" size=\"3\" filter=\"linear\">0a0b0c</texture>"
           "<texture name=\"other\" size=\"2\" filter=\"Linear\"></texture></textures>");
  ASSERT_NE(l.set, nullptr);
  EXPECT_STREQ(l.set->name, "sets.xml");
  EXPECT_EQ(l.ctrl->resources.modelsSets.indexOf(l.set), 0);
  // RigidBody, Text and unknown types make nothing; the rest keep file order.
  ASSERT_EQ(l.set->objects.count, 5);
  const char* order[] = {"child", "root", "sun", "eye", "plain"};
  for (int i = 0; i < 5; ++i) EXPECT_STREQ(l.set->objects[i]->name, order[i]);
  EXPECT_EQ(l["root"]->type, OBJECT_LOCATOR);
  EXPECT_EQ(static_cast<MDL_Lamp*>(l["sun"])->kind, LAMP_SUN);
  EXPECT_EQ(l["plain"]->type, OBJECT_NONE);

  // Children are put at the head of the list: the later entry comes first.
  MDL_Object* root = l["root"];
  EXPECT_EQ(root->firstChild, l["sun"]);
  EXPECT_EQ(l["sun"]->nextSibling, l["child"]);
  EXPECT_EQ(l["child"]->parent, root);
  // The file's matrix is the placement relative to the parent.
  EXPECT_EQ(l["child"]->getWorld().position, Vec3(1, 0, 5));

  MDL_Mesh* mesh = static_cast<MDL_Mesh*>(l["child"]);
  ASSERT_EQ(l.set->meshes.count, 1);
  EXPECT_EQ(mesh->meshData, l.set->meshes[0]);
  EXPECT_EQ(mesh->vertexCount(), 3);
  ASSERT_EQ(l.set->materials.count, 1);
  Material* red = l.set->materials[0];
  EXPECT_EQ(mesh->material, red);
  EXPECT_FALSE(mesh->ownsMaterial);
  EXPECT_EQ(red->diffuse.r, 1);
  EXPECT_EQ(red->diffuse.a, 0.5);
  ASSERT_EQ(red->layers.count, 1);
  EXPECT_EQ(red->layers[0].color.a, 0.25);

  ASSERT_EQ(l.set->textures.count, 2);
  ImageSource* skin = l.set->textures[0];
  EXPECT_EQ(red->layers[0].image, skin);
  EXPECT_STREQ(skin->name, "skin");
  ASSERT_EQ(skin->size, 3);
  EXPECT_EQ(skin->data[0], 0x0a);
  EXPECT_EQ(skin->data[2], 0x0c);
  EXPECT_EQ(skin->filter, 2);
  // A filter name in other letters is no filter; an entry without text is
  // a zero-filled block of its size.
  ImageSource* other = l.set->textures[1];
  EXPECT_EQ(other->filter, 0);
  ASSERT_EQ(other->size, 2);
  EXPECT_EQ(other->data[0] | other->data[1], 0);
  EXPECT_GT(other->id, skin->id);

  ASSERT_EQ(l.set->animations.count, 1);
  EXPECT_EQ(l.set->animations[0]->keyCount, 1);
  EXPECT_EQ(l["nobody"], nullptr);
}

TEST(ModelsSetLoader, TextureFilterNames) {
  const struct {
    const char* text;
    int32_t code;
  } cases[] = {{"nearest_point", 1}, {"linear", 2}, {"mipmap", 3}, {nullptr, 0}, {"LINEAR", 0}, {"", 0}};
  for (const auto& c : cases) EXPECT_EQ(CTRL_textureFilterCode(c.text), c.code) << (c.text ? c.text : "null");
}

TEST(ModelsSetLoader, EachCollisionShapeAndAnUnknownOneEndsTheObjects) {
  auto volume = [](const char* name, const char* shape) {
    return object("CollisionVolume", name, child("volume_type", shape) + child("parent", "holder"));
  };
  Loaded l(objects(object("None", "holder") + volume("s", "sphere") + volume("b", "box") + volume("c", "cylinder") +
                   volume("bad", "Sphere") + object("Lamp", "after")));
  ASSERT_NE(l.set, nullptr);
  ASSERT_EQ(l.set->objects.count, 4);
  const int32_t shapes[] = {SHAPE_SPHERE, SHAPE_BOX, SHAPE_CYLINDER};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(l.set->objects[i + 1]->type, OBJECT_COLLISION_VOLUME);
    EXPECT_EQ(static_cast<MDL_CollisionVolume*>(l.set->objects[i + 1])->shape, shapes[i]);
    EXPECT_EQ(l.set->objects[i + 1]->parent, l["holder"]);
  }
  EXPECT_EQ(l["after"], nullptr);
}

TEST(ModelsSetLoader, MissingFileAndBrokenXmlLeaveNoSet) {
  vsplat::DebugCapture quiet;
  auto ctrl = testpkg::openMembers({{"broken.xml", "<objects><object></objects>\n"}});
  EXPECT_EQ(ctrl->loadModelsSet("missing.xml"), nullptr);
  EXPECT_EQ(ctrl->loadModelsSet("broken.xml"), nullptr);
  EXPECT_EQ(ctrl->resources.modelsSets.count, 0);
}

TEST(ModelsSetLoader, ParentLinksThatWouldCloseALoopAreSkipped) {
  // a -> b -> c is made; c naming a (its ancestor) and d naming itself are
  // refused, so every chain still ends at a root.
  Loaded l(objects(object("None", "a", child("parent", "c")) + object("None", "b", child("parent", "a")) +
                   object("None", "c", child("parent", "b")) + object("None", "d", child("parent", "d")) +
                   object("None", "e", child("parent", "nobody"))));
  ASSERT_NE(l.set, nullptr);
  EXPECT_EQ(l["a"]->parent, l["c"]);
  EXPECT_EQ(l["b"]->parent, l["a"]);
  EXPECT_EQ(l["c"]->parent, nullptr);
  EXPECT_EQ(l["d"]->parent, nullptr);
  EXPECT_EQ(l["d"]->firstChild, nullptr);
  EXPECT_EQ(l["e"]->parent, nullptr);
}

// Where several records share a name, every link goes to the first of them
// in the file, whatever the order of the names.
TEST(ModelsSetLoader, ANameLinksToTheFirstRecordOfThatName) {
  std::string inner;
  for (const char* name : {"m", "z", "a", "b", "a", "m"}) inner += object("None", name);
  inner += object("None", "child", child("parent", "a")) + object("None", "other", child("parent", "m")) +
           object("Mesh", "mesh", child("mesh", "shape") + child("material", "look"));
  const std::string materials =
      "<materials><material name=\"look\"><alpha>0.25</alpha></material>"
      "<material name=\"look\"><alpha>0.5</alpha></material></materials>";
  const std::vector<double> tri = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  const std::string mesh = "<mesh name=\"shape\">" + section("vertices", 3, 8, hexDoubles(tri)) +
                           section("triangles", 1, 4, hexInt32({0, 1, 2})) + "</mesh>";
  const std::string meshes = "<meshes>" + mesh + mesh + "</meshes>";
  Loaded l(materials + meshes + objects(inner));
  ASSERT_NE(l.set, nullptr);
  ASSERT_EQ(l.set->objects.count, 9);
  EXPECT_EQ(l["child"]->parent, l.set->objects[2]);  // the first "a"
  EXPECT_EQ(l["other"]->parent, l.set->objects[0]);  // the first "m"
  EXPECT_EQ(l["a"], l.set->objects[2]);
  const MDL_Mesh* m = static_cast<const MDL_Mesh*>(l["mesh"]);
  ASSERT_EQ(l.set->meshes.count, 2);
  ASSERT_EQ(l.set->materials.count, 2);
  EXPECT_EQ(m->meshData, l.set->meshes[0]);
  EXPECT_EQ(m->material, l.set->materials[0]);
}

TEST(ModelsSetLoader, HostileCountsAndSizesLoadSafely) {
  vsplat::DebugCapture log;
  Loaded l(
      "<textures><texture name=\"neg\" size=\"-5\">ffff</texture>"
      "<texture name=\"huge\" size=\"2000000000\">ff</texture>"
      "<texture name=\"short\" size=\"4\">ab</texture>"
      "<texture name=\"junk\" size=\"zz\">ab</texture></textures>"
      "<meshes><mesh name=\"m\">" +
      section("vertices", 2, 8, hexDoubles({1, 2, 3})) + section("triangles", 1, 4, hexInt32({0, 1, 7})) +
      "</mesh></meshes>" + objects(object("Mesh", "m", child("mesh", "m") + child("material", "none"))));
  ASSERT_NE(l.set, nullptr);
  ASSERT_EQ(l.set->textures.count, 4);
  EXPECT_EQ(l.set->textures[0]->size, 0);
  EXPECT_EQ(l.set->textures[1]->size, 0);
  EXPECT_NE(log.text().find("texture huge of 2000000000 bytes refused"), std::string::npos) << log.text();
  ImageSource* shortOne = l.set->textures[2];
  ASSERT_EQ(shortOne->size, 4);
  EXPECT_EQ(shortOne->data[0], 0xab);
  EXPECT_EQ(shortOne->data[1] | shortOne->data[2] | shortOne->data[3], 0);
  EXPECT_EQ(l.set->textures[3]->size, 0);
  MDL_Mesh* mesh = static_cast<MDL_Mesh*>(l["m"]);
  ASSERT_NE(mesh->meshData, nullptr);
  EXPECT_EQ(mesh->triangleCount(), 0);  // its index 7 names no vertex
  EXPECT_EQ(mesh->material, nullptr);
}

TEST(ModelsSetLoader, ATruncatedFileIsRefusedWhole) {
  std::string full = objects(object("None", "a") + object("None", "b"));
  for (size_t cut : {full.size() - 3, full.size() / 2, size_t{7}}) {
    vsplat::DebugCapture quiet;
    auto ctrl = testpkg::openMembers({{"cut.xml", full.substr(0, cut) + "\n"}});
    EXPECT_EQ(ctrl->loadModelsSet("cut.xml"), nullptr) << cut;
    EXPECT_EQ(ctrl->resources.modelsSets.count, 0);
  }
}

TEST(ModelsSetLoader, AChainDeeperThanTheTreeBoundIsCut) {
  // Each entry names the one after it as its parent; linked one by one the
  // chain would be 3000 deep, which every recursive tree walk would follow.
  vsplat::DebugCapture log;
  std::string inner;
  const int n = 3000;
  for (int i = 0; i < n; ++i)
    inner += object("None", ("o" + std::to_string(i)).c_str(), child("parent", "o" + std::to_string(i + 1)));
  Loaded l(objects(inner));
  ASSERT_NE(l.set, nullptr);
  int deepest = 0;
  for (MDL_Object* o : l.set->objects) {
    int depth = 0;
    for (MDL_Object* a = o->parent; a; a = a->parent) ++depth;
    deepest = std::max(deepest, depth);
  }
  EXPECT_LE(deepest, 1024);
  EXPECT_GT(deepest, 500);
  EXPECT_NE(log.text().find("nested too deep"), std::string::npos);
}

// A skinning group: vertex indices and weights, packed.
std::string group(const char* name, const std::vector<int32_t>& vertices, const std::vector<double>& weights) {
  return std::string("<animated_mesh name=\"") + name + "\">" +
         section("vertices", static_cast<int>(vertices.size()), 4, hexInt32(vertices)) +
         section("weights", static_cast<int>(weights.size()), 8, hexDoubles(weights)) + "</animated_mesh>";
}

// Two vertices on the x axis, with normals along z.
const char kLine[] = "line";
std::string lineMesh() {
  return std::string("<meshes><mesh name=\"") + kLine + "\">" +
         section("vertices", 2, 8, hexDoubles({1, 0, 0, 2, 0, 0})) +
         section("normals", 2, 8, hexDoubles({0, 0, 1, 0, 0, 1})) + "</mesh></meshes>";
}

TEST(ModelsSetLoader, SkinningBindsGroupsToBonesInTheirRestPose) {
  // Bone a rests at z = 1 and is placed at z = 3 by the file; b rests at
  // x = 1 turned a quarter about z. Vertex 0 is held 0.2 by a and 0.6 by b.
  const std::string quarter = "0 1 0 0 -1 0 0 0 0 0 1 0 1 0 0 1";
  Loaded l(lineMesh() + "<animated_meshes>" + group("ga", {0, 1}, {0.2, 1.0}) + group("gb", {0, 5}, {0.6, 0.5}) +
           group("gshort", {1, 0}, {0.5}) + "</animated_meshes>" +
           objects(object("Bone", "a",
                          child("matrix", translation(0, 0, 3)) + child("original_matrix", translation(0, 0, 1))) +
                   object("Bone", "b", child("matrix", quarter) + child("original_matrix", quarter)) +
                   object("AnimatedMesh", "skin",
                          child("mesh", kLine) + "<animated_meshes><animated_mesh>ga</animated_mesh><bone>a</bone>"
                                                 "<animated_mesh>gb</animated_mesh><bone>b</bone>"
                                                 "<animated_mesh>nothing</animated_mesh><bone>a</bone>"
                                                 "<animated_mesh>gshort</animated_mesh><bone>skin</bone>"
                                                 "</animated_meshes>") +
                   object("AnimatedMesh", "bare") +
                   object("Mesh", "plain",
                          child("mesh", kLine) + "<animated_meshes><animated_mesh>gshort</animated_mesh><bone>a</bone>"
                                                 "</animated_meshes>")));
  ASSERT_NE(l.set, nullptr);
  MDL_Bone* a = static_cast<MDL_Bone*>(l["a"]);
  MDL_Bone* b = static_cast<MDL_Bone*>(l["b"]);
  // After loading a bone stands where "matrix" puts it and rests at
  // "original_matrix".
  EXPECT_EQ(a->getWorld().position, Vec3(0, 0, 3));
  EXPECT_EQ(a->restTransform.position, Vec3(0, 0, 1));
  EXPECT_EQ(b->restTransform.basis.axis[0], Vec3(0, 1, 0));

  MDL_AnimatedMesh* skin = static_cast<MDL_AnimatedMesh*>(l["skin"]);
  ASSERT_EQ(skin->boneCount, 4);
  EXPECT_EQ(skin->bones[0], a);
  EXPECT_EQ(skin->bones[1], b);
  EXPECT_EQ(skin->boneData[2], nullptr);  // no group of that name: the slot stays, empty
  EXPECT_EQ(skin->bones[3], nullptr);     // "skin" is no bone
  AnimatedMeshData* ga = skin->boneData[0];
  AnimatedMeshData* gb = skin->boneData[1];
  // Weights of vertex 0 sum to 1 over its bones; vertex 1 has only a.
  EXPECT_DOUBLE_EQ(ga->weights[0], 0.25);
  EXPECT_DOUBLE_EQ(gb->weights[0], 0.75);
  EXPECT_DOUBLE_EQ(ga->weights[1], 1.0);
  EXPECT_DOUBLE_EQ(gb->weights[1], 0.5);  // its vertex 5 does not exist
  // Rest positions are the vertices in each bone's rest frame.
  ASSERT_NE(ga->restPositions, nullptr);
  EXPECT_EQ(ga->restPositions[0], Vec3(1, 0, -1));
  EXPECT_EQ(ga->restPositions[1], Vec3(2, 0, -1));
  EXPECT_EQ(ga->restNormals[0], Vec3(0, 0, 1));
  EXPECT_EQ(gb->restPositions[0], Vec3(0, 0, 0));
  // A group paired with no bone, or only with a plain mesh, is never bound.
  AnimatedMeshData* gshort = skin->boneData[3];
  ASSERT_NE(gshort, nullptr);
  EXPECT_EQ(gshort->restPositions, nullptr);
  EXPECT_EQ(static_cast<MDL_Mesh*>(l["plain"])->type, OBJECT_MESH);

  // Skinned arrays start from the rest shape; a mesh without geometry has none.
  ASSERT_NE(skin->skinnedVertices, nullptr);
  EXPECT_EQ(skin->skinnedVertices[1], Vec3(2, 0, 0));
  ASSERT_NE(skin->skinnedNormals, nullptr);
  MDL_AnimatedMesh* bare = static_cast<MDL_AnimatedMesh*>(l["bare"]);
  EXPECT_EQ(bare->skinnedVertices, nullptr);
  EXPECT_EQ(bare->vertex(0), nullptr);

  // Skinned where the file placed the bones: a is 2 higher than at rest,
  // b unmoved, so vertex 0 rises by 0.25 x 2 and vertex 1 by 2.
  skin->update(true);
  EXPECT_NEAR(skin->vertex(0)->z, 0.5, 1e-12);
  EXPECT_NEAR(skin->vertex(0)->x, 1.0, 1e-12);
  EXPECT_NEAR(skin->vertex(1)->z, 2.0, 1e-12);
}

}  // namespace

namespace {

TEST(ModelsSetLoaderDeathTest, UnderAMemoryCapWhatDoesNotFitIsDroppedWithALogLine) {
  if (!testsupport::kCanCapMemory) GTEST_SKIP() << "the sanitizer's reservations pass any cap";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // A 64 MiB texture and a section of 16 M vertices (384 MiB), with 32 MiB
  // left to the loader: both are dropped, each with its own line, and the
  // set loads the rest.
  const std::string xml =
      "<textures><texture name=\"big\" size=\"67108000\">ff</texture></textures>"
      "<meshes><mesh name=\"m\"><vertices count=\"16000000\" size=\"8\"></vertices></mesh>"
      "<mesh name=\"small\">" +
      section("vertices", 3, 8, hexDoubles({0, 0, 0, 1, 0, 0, 0, 1, 0})) + "</mesh></meshes>" +
      objects(object("Mesh", "m", child("mesh", "small")));
  EXPECT_EXIT(
      {
        vsplat::DebugCapture log;
        auto ctrl = testpkg::openMembers({{"sets.xml", xml + "\n"}});
        if (!ctrl->package || !testsupport::capAddressSpace(32 << 20)) std::_Exit(2);
        ModelsSet* set = ctrl->loadModelsSet("sets.xml");
        const std::string text = log.text();
        std::fprintf(stderr, "%s", text.c_str());
        const bool texture = text.find(
                                 "Models set sets.xml: texture big of 67108000 bytes does not fit in memory: "
                                 "dropped") != std::string::npos;
        const bool vertices = text.find("Section \"vertices\" of 16000000 elements does not fit in memory: dropped.") !=
                              std::string::npos;
        const bool rest = set && set->findByName("m") && set->textures.count == 1 && set->textures[0]->size == 0;
        std::_Exit(texture && vertices && rest ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
