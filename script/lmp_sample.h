#pragma once
// newSample: the script class of the controller's sound samples.

#include "model/sample.h"
#include "script/lmp_binder.h"

class LMP_Sample : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Sample> methods[];
  ~LMP_Sample() override;
  // newSample(file name): a decoded Ogg Vorbis file.
  static LMP_Proxy* construct(lua_State* L);
  SoundRecord* sample() const { return static_cast<SoundRecord*>(model); }

  int del(lua_State* L);
};

// Pushes the proxy of a record the controller or a stream already holds,
// making and linking one the first time; the same userdata while it lives.
int LMP_pushSample(lua_State* L, SoundRecord* sample);
// The record of the newSample userdata at idx (null when the sample was
// deleted); anything else raises an argument error naming newSample.
SoundRecord* LMP_checkSample(lua_State* L, int idx);
