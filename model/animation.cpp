#include "model/animation.h"

#include "model/mesh_data.h"
#include "model/object.h"

void catmullRom3(Vec3& out, const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, double s) {
  const double s2 = s * s, s3 = s2 * s;
  const double a = 2 * s2 - s - s3, b = 2 - 5 * s2 + 3 * s3, c = 4 * s2 + s - 3 * s3, d = s3 - s2;
  out.x = 0.5 * (p0.x * a + p1.x * b + p2.x * c + p3.x * d);
  out.y = 0.5 * (p0.y * a + p1.y * b + p2.y * c + p3.y * d);
  out.z = 0.5 * (p0.z * a + p1.z * b + p2.z * c + p3.z * d);
}

namespace {

int32_t clampKey(int32_t i, int32_t last) { return i < 0 ? 0 : (i > last ? last : i); }

void pose(MDL_Object& target, const AnimationData& d, int32_t i, double time) {
  const int32_t last = d.keyCount - 1;
  const double span = d.times[i + 1] - d.times[i];
  // Two keys at one time make a zero-length segment: its start holds.
  const double s = span != 0.0 ? (time - d.times[i]) / span : 0.0;
  const int32_t k0 = clampKey(i - 1, last), k1 = i, k2 = i + 1, k3 = clampKey(i + 2, last);

  Vec3 r;
  catmullRom3(r, d.rotations[k0], d.rotations[k1], d.rotations[k2], d.rotations[k3], s);
  Matrix3::fromAngles(target.editLocal().basis, r.x, r.y, r.z);
  Vec3 c;
  catmullRom3(c, d.scales[k0], d.scales[k1], d.scales[k2], d.scales[k3], s);
  Matrix3& basis = target.editLocal().basis;
  basis.axis[0] *= c.x;
  basis.axis[1] *= c.y;
  basis.axis[2] *= c.z;
  catmullRom3(target.editLocal().position, d.locations[k0], d.locations[k1], d.locations[k2], d.locations[k3], s);
}

}  // namespace

void Animation::step(Animation* a, double dt) {
  if (!a->target || a->target->pendingDelete) return;
  const AnimationData* d = a->data;
  if (d && d->keyCount > 1 && d->times && d->locations && d->rotations && d->scales) {
    const int32_t last = d->keyCount - 1;
    for (int32_t i = 0; i < last; ++i) {
      if (d->times[i] <= a->time && a->time <= d->times[i + 1]) {
        pose(*a->target, *d, i, a->time);
        break;
      }
    }
  }
  a->time += a->speed * dt;
  if (a->time > a->duration) a->playing = 0;
}
