#include "script/lmp_stream.h"

#include <memory>
#include <new>

#include "controller/ctrl_generic.h"
#include "script/engine.h"
#include "script/lmp_args.h"
#include "script/lmp_sample.h"
#include "script/lmp_texture.h"

const char* const LMP_Stream::luaName = "newStream";

LMP_Stream::~LMP_Stream() {
  if (stream() && stream()->proxy.get() == this) stream()->proxy.proxy = nullptr;
}

LMP_Proxy* LMP_Stream::construct(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  const char* name = nullptr;
  int filter = 0;
  const bool named = ctrl && LMP_getArgs(L, "S|I", &name, &filter);
  std::unique_ptr<LMP_Stream> proxy(new LMP_Stream());
  if (!named) return proxy.release();
  VideoStream* stream = VideoStream::open(name, ctrl);
  LMP_requireMemory(stream);
  if (!stream->file) {
    delete stream;
    LMP_reportError(L, "File %s not found", name);
    return proxy.release();
  }
  LMP_appendNew(ctrl->resources.videoStreams, stream);
  stream->image.filter = filter;
  proxy->model = stream;
  stream->proxy.assign(proxy.get());
  return proxy.release();
}

int LMP_Stream::del(lua_State* L) {
  CTRL_Generic* ctrl = LMP_getController(L);
  VideoStream* s = stream();
  if (!ctrl || !s) return 0;
  LMP_getArgs(L, "");  // extra arguments are reported; the stream goes all the same
  if (!ctrl->resources.videoStreams.removeFirst(s)) {
    model = nullptr;
    return 0;
  }
  // The renderer's texture of the picture goes at the next frame, through a
  // stand-in record with the same id.
  ImageSource* forget = new (std::nothrow) ImageSource;
  if (forget) {
    forget->id = s->image.id;
    forget->rawPixels = true;
    forget->releasePending = true;
    if (!ctrl->resources.imageSources.append(forget)) delete forget;
  }
  s->destroy();  // clears this proxy's model and those of its texture and sample
  // Materials and sound objects may still point at its picture and sound
  // records, now empty: the record waits for the controller to go.
  ctrl->resources.retired.add(s);
  model = nullptr;
  return 0;
}

int LMP_Stream::getTexture(lua_State* L) { return stream() ? LMP_pushTexture(L, &stream()->image) : 0; }

int LMP_Stream::getSample(lua_State* L) { return stream() ? LMP_pushSample(L, &stream()->sound) : 0; }

int LMP_Stream::getTime(lua_State* L) {
  if (!stream()) return 0;
  lua_pushnumber(L, stream()->time);
  return 1;
}

int LMP_Stream::getCurrentFrame(lua_State* L) {
  if (!stream()) return 0;
  lua_pushinteger(L, stream()->currentFrame);
  return 1;
}

int LMP_Stream::getDuration(lua_State* L) {
  if (!stream()) return 0;
  lua_pushnumber(L, stream()->duration());
  return 1;
}

int LMP_Stream::isPlaying(lua_State* L) {
  if (!stream()) return 0;
  lua_pushboolean(L, !stream()->sound.paused);
  return 1;
}

int LMP_Stream::play(lua_State* L) {
  if (!stream()) return 0;
  LMP_getArgs(L, "");
  stream()->sound.paused = false;
  return 0;
}

int LMP_Stream::pause(lua_State* L) {
  if (!stream()) return 0;
  LMP_getArgs(L, "");
  stream()->sound.paused = true;
  return 0;
}

int LMP_Stream::seek(lua_State* L) {
  double time = 0;
  if (stream() && LMP_getArgs(L, "N", &time)) stream()->seek(static_cast<float>(time));
  return 0;
}

const LMP_MethodReg<LMP_Stream> LMP_Stream::methods[] = {
    {"delete", &LMP_Stream::del},
    {"getTexture", &LMP_Stream::getTexture},
    {"getSample", &LMP_Stream::getSample},
    {"getTime", &LMP_Stream::getTime},
    {"getCurrentFrame", &LMP_Stream::getCurrentFrame},
    {"getDuration", &LMP_Stream::getDuration},
    {"isPlaying", &LMP_Stream::isPlaying},
    {"play", &LMP_Stream::play},
    {"pause", &LMP_Stream::pause},
    {"seek", &LMP_Stream::seek},
    {nullptr, nullptr},
};
