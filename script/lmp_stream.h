#pragma once
// newStream: the script class of a video stream. Its picture reaches
// materials through getTexture, its sound reaches sound objects through
// getSample; both parts share the stream's life.

#include "controller/video_stream.h"
#include "script/lmp_binder.h"

class LMP_Stream : public LMP_Proxy {
 public:
  static const char* const luaName;
  static const LMP_MethodReg<LMP_Stream> methods[];
  ~LMP_Stream() override;
  // newStream(file name [, filter]).
  static LMP_Proxy* construct(lua_State* L);
  VideoStream* stream() const { return static_cast<VideoStream*>(model); }

  int del(lua_State* L);
  int getTexture(lua_State* L);
  int getSample(lua_State* L);
  int getTime(lua_State* L);
  int getCurrentFrame(lua_State* L);
  int getDuration(lua_State* L);
  int isPlaying(lua_State* L);
  int play(lua_State* L);
  int pause(lua_State* L);
  int seek(lua_State* L);
};
