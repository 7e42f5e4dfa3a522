#include "script/lmp_overlay.h"

#include "script/lmp_args.h"
#include "script/lmp_fields.h"

namespace {
enum { REF_SELF = 1, REF_LOCAL = 2, REF_GLOBAL = 3 };
}  // namespace

int LMP_pushCenter(lua_State* L, MDL_Object* o, const Vec3& c) {
  int frame = REF_GLOBAL;
  if (lua_gettop(L) > 0 && !LMP_getArgs(L, "I", &frame)) return 0;
  switch (frame) {
    case REF_SELF:
      return LMP_returnV3(L, c);
    case REF_LOCAL: {
      o->recomputeLocal();
      return LMP_returnV3(L, o->local.basis * c + o->local.position);
    }
    case REF_GLOBAL: {
      const RigidTransform& w = o->getWorld();
      return LMP_returnV3(L, w.basis * c + w.position);
    }
  }
  LMP_reportError(L, "Invalid reference ID");
  return 0;
}
