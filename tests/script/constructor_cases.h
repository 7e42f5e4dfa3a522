// Every bound constructor as content calls it, once as meant and once with
// one argument too many, for the tests that hold them all to the same rules.
#pragma once

#include <lua.hpp>

#include <string>

#include "model/mesh_data.h"
#include "script/lmp_animation_data.h"
#include "script_harness.h"
#include "support/test_media.h"
#include "support/test_video.h"

namespace scripttest {

struct ConstructorCase {
  const char* luaName;
  const char* call;  // with the globals ConstructorPlayer sets
  bool makesModel;   // the proxy it answers has a model
  const char* surplusCall;
  const char* surplusReport;  // the one report, exactly; "" for none
  bool surplusMakesModel;
  // Memory refused at any allocation raises Lua's memory error; -1: every
  // allocation the call makes. The loaders of samples, models sets and
  // streams belong to the controller: only the allocations before them.
  int refusals;
};

inline const ConstructorCase kConstructorCases[] = {
    {"newScene", "newScene('n')", true, "newScene('n', 2)", "", true, -1},
    {"newViewport", "newViewport(0, 0, 1, 1)", true, "newViewport(0, 0, 1, 1, 5)",
     "Too much arguments, <NNNN> argument(s) expected", false, -1},
    {"newObject", "newObject(s)", true, "newObject(s, o, 3)", "Too much arguments for newObject", true, -1},
    {"newMesh", "newMesh(s)", true, "newMesh(s, mesh, 3)", "Too much arguments for newMesh", true, -1},
    {"newAnimatedMesh", "newAnimatedMesh(o)", true, "newAnimatedMesh(s, skin, 3)",
     "Too much arguments for newAnimatedMesh", true, -1},
    {"newRigidBody", "newRigidBody(s)", true, "newRigidBody(s, o, 3)", "Too much arguments for newRigidBody", true, -1},
    // Its messages name newObject.
    {"newSound", "newSound(o, sample)", true, "newSound(s, sample, 3)", "Too much arguments for newObject", true, -1},
    {"newText", "newText(o)", true, "newText(s, 2)", "Too many arguments creating a newText", false, -1},
    {"newLamp", "newLamp(o)", true, "newLamp(s, lamp, 3)", "Too much arguments for newLamp", true, -1},
    {"newCamera", "newCamera(s)", true, "newCamera(s, camera, 3)", "Too much arguments for newCamera", true, -1},
    // Mikes are not copied either.
    {"newMike", "newMike(s)", true, "newMike(s, mike, 3)", "Too much arguments for newMike", false, -1},
    {"newImage", "newImage(o, texture)", true, "newImage(s, texture, 3)", "Too much arguments for newImage", true, -1},
    // Polylines are not copied: a source leaves the proxy without a model.
    {"newPolyline", "newPolyline(o)", true, "newPolyline(s, line, 3)", "Too much arguments for newPolyline", false, -1},
    {"newTexture", "newTexture('a.png', 1)", true, "newTexture('a.png', 1, 2)",
     "Too much arguments, <S|I> argument(s) expected", false, -1},
    {"newSample", "newSample('s.ogg')", true, "newSample('s.ogg', 2)", "Too much arguments, <S> argument(s) expected",
     false, 1},
    {"newBone", "newBone()", false, "newBone(s, 2, 3)", "Unsupported usage of a Lua constructor LMP_Bone", false, -1},
    {"newStream", "newStream('v.ogg')", true, "newStream('v.ogg', 0, 1)",
     "Too much arguments, <S|I> argument(s) expected", false, 2},
    {"newFont", "newFont('serif.ttf')", true, "newFont('serif.ttf', 2)", "Too much arguments, <S> argument(s) expected",
     false, -1},
    {"newModelsSet", "newModelsSet('set.xml')", true, "newModelsSet('set.xml', 2)",
     "Too much arguments, <S> argument(s) expected", false, 1},
    {"newMaterial", "newMaterial()", false, "newMaterial(1)", "", false, -1},
    {"newSpring", "newSpring(body, v3(), nil, v3())", true, "newSpring(body, v3(), nil, v3(), 3, 3, 1)",
     "Too much arguments, <RVRV|II> argument(s) expected", false, -1},
    {"newJoint", "newJoint(0, body, v3(), v3(1, 0, 0), nil, v3(), v3(1, 0, 0))", true,
     "newJoint(0, body, v3(), v3(1, 0, 0), nil, v3(), v3(1, 0, 0), 3, 3, 3, 3, 1)",
     "Too much arguments, <IRVVRVV|IIII> argument(s) expected", false, -1},
    {"newCollisionVolume", "newCollisionVolume(o)", true, "newCollisionVolume(s, volume, 3)",
     "Too much arguments for newCollisionVolume", true, -1},
    {"newAnimationData", "newAnimationData()", false, "newAnimationData(1)", "", false, -1},
    // The object is the last argument and the data the one before it.
    {"newAnimation", "newAnimation(keys, o)", true, "newAnimation(1, keys, o)", "", true, -1},
    {"newLocator", "newLocator(o)", true, "newLocator(s, locator, 3)", "Too much arguments for newLocator", true, -1},
};

// A player whose package holds the files the calls read and whose globals
// are the arguments they take: a scene s with an object o, one object of
// each class that can be copied, a texture, a sample, a rigid body and
// animation keys; isA(v, class) tells a proxy's class.
struct ConstructorPlayer {
  AnimationData keyData;
  Player p;

  static const std::string& file(int which) {
    static const std::string files[] = {
        testmedia::makePng({8, 4, 2, 8, false, false}),
        testmedia::makeOgg(1, 22050, 2000),
        testmedia::readFile(testmedia::kPackageFontPath),
        testmedia::makeTheora(testmedia::TheoraSpec{},
                              [](int, int, int) {
                                return testmedia::YCbCr{100, 128, 128};
                              }),
    };
    return files[which];
  }

  ConstructorPlayer()
      : p({{"a.png", file(0)},
           {"s.ogg", file(1)},
           {"serif.ttf", file(2)},
           {"v.ogg", file(3)},
           {"set.xml", "<objects/>\n"}}) {
    keyData.allocateKeys(2);
    for (int i = 0; i < 2; ++i) {
      keyData.times[i] = i;
      keyData.scales[i] = Vec3(1, 1, 1);
    }
    LMP_pushAnimationData(p.L, &keyData);
    lua_setglobal(p.L, "keys");
    setup = p.run(R"(
      function isA(v, class) return type(v) == 'userdata' and tostring(v):sub(1, #class + 2) == class .. ' (' end
      s = newScene(); o = newObject(s); mesh = newMesh(s); skin = newAnimatedMesh(s); lamp = newLamp(s)
      camera = newCamera(s); mike = newMike(s); line = newPolyline(s); volume = newCollisionVolume(s)
      locator = newLocator(s); body = newRigidBody(s)
      texture = newTexture('a.png'); sample = newSample('s.ogg')
    )");
  }

  std::string setup;  // the set-up chunk's error, "" when it ran
};

}  // namespace scripttest
