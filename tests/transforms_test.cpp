// The transform tracking job on the reference host's scene: static, moved,
// rescaled, dirty and q -> -q objects, both matrix sources, both scheduling
// modes, one and several workers, a shuffled sorted order. Rebuilt outputs are
// checked against a double-precision reference of the world matrix, combined
// matrix and bounding sphere; skipped objects must keep every output bit.
#include <vorta/vorta.h>

#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <vector>

#include "tests/variant_test.h"

namespace {

using vorta_test::Schedule;
constexpr double kH = 0.70710678118654752;

class TransformsTest : public vorta_test::VariantTest {};

struct Objects {
  size_t n;
  std::vector<float> pos, rot, scl, offset, combined, world, spheres;
  std::vector<uint8_t> dirty;
  std::vector<int32_t> source;
  explicit Objects(size_t count)
      : n(count), pos(3 * n), rot(4 * n), scl(3 * n), offset(16 * n), combined(16 * n, 7.0f),
        world(16 * n, 7.0f), spheres(4 * n, 7.0f), dirty(n), source(n) {}
  VortaTransformTrackingJob Job(float threshold) {
    VortaTransformTrackingJob j{};
    j.positions = pos.data(), j.rotations = rot.data(), j.scales = scl.data();
    j.dirty = dirty.data(), j.matrixSource = source.data(), j.offsetMatrices = offset.data();
    j.combinedMatrices = combined.data(), j.worldMatrices = world.data();
    j.boundingSpheres = spheres.data(), j.threshold = threshold;
    return j;
  }
};

// Double-precision world matrix (true column order) of object u.
void ReferenceWorld(const vorta::host::Transform& t, const Objects& o, size_t u, double w[16]) {
  const double r[4] = {-kH, 0, 0, kH};
  auto rotation = [](const double q[4], double m[9]) {
    const double x = q[0], y = q[1], z = q[2], s = q[3];
    const double c[9] = {1 - 2 * (y * y + z * z), 2 * (x * y + s * z), 2 * (x * z - s * y),
                         2 * (x * y - s * z),     1 - 2 * (x * x + z * z), 2 * (y * z + s * x),
                         2 * (x * z + s * y),     2 * (y * z - s * x), 1 - 2 * (x * x + y * y)};
    std::memcpy(m, c, sizeof c);
  };
  double m[9];
  if (o.source[u] == 1) {
    rotation(r, m);
    for (int k = 0; k < 3; ++k)
      for (int i = 0; i < 4; ++i)
        w[4 * k + i] = t.localToWorld[i] * m[3 * k] + t.localToWorld[4 + i] * m[3 * k + 1] +
                       t.localToWorld[8 + i] * m[3 * k + 2];
    for (int i = 0; i < 4; ++i) w[12 + i] = t.localToWorld[12 + i];
    return;
  }
  const double a[4] = {t.rotation[0], t.rotation[1], t.rotation[2], t.rotation[3]};
  const double q[4] = {a[3] * r[0] + a[0] * r[3] + a[1] * r[2] - a[2] * r[1],
                       a[3] * r[1] - a[0] * r[2] + a[1] * r[3] + a[2] * r[0],
                       a[3] * r[2] + a[0] * r[1] - a[1] * r[0] + a[2] * r[3],
                       a[3] * r[3] - a[0] * r[0] - a[1] * r[1] - a[2] * r[2]};
  rotation(q, m);
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < 3; ++i) w[4 * k + i] = m[3 * k + i];
    w[4 * k + 3] = 0;
  }
  for (int i = 0; i < 3; ++i) w[12 + i] = o.pos[3 * u + i];
  w[15] = 1;
}

void ExpectRebuilt(const vorta::host::Transform& t, const Objects& o, size_t u) {
  double w[16], k[16];
  ReferenceWorld(t, o, u, w);
  const int order[4] = {0, 2, 1, 3};
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < 4; ++i)
      ASSERT_NEAR(o.world[16 * u + 4 * c + i], w[4 * order[c] + i], 2e-5) << "object " << u;
  for (int c = 0; c < 4; ++c)
    for (int i = 0; i < 4; ++i) {
      k[4 * c + i] = 0;
      for (int j = 0; j < 4; ++j) k[4 * c + i] += w[4 * j + i] * o.offset[16 * u + 4 * c + j];
      ASSERT_NEAR(o.combined[16 * u + 4 * c + i], k[4 * c + i], 1e-4) << "object " << u;
    }
  double p[4], n[4], len = 0;
  for (int i = 0; i < 4; ++i) {
    p[i] = 0.5 * (k[i] + k[4 + i] + k[8 + i]) + k[12 + i];
    n[i] = -0.5 * (k[i] + k[4 + i] + k[8 + i]) + k[12 + i];
    len += (p[i] - n[i]) * (p[i] - n[i]);
  }
  for (int i = 0; i < 3; ++i) ASSERT_NEAR(o.spheres[4 * u + i], 0.5 * (p[i] + n[i]), 1e-4);
  ASSERT_NEAR(o.spheres[4 * u + 3], 0.5 * std::sqrt(len), 1e-4);
  ASSERT_EQ(o.dirty[u], 0);
}

enum Change { kStatic, kMoved, kTurned, kNegated, kRescaled, kDirty, kNanPosition, kChangeCount };

TEST_P(TransformsTest, RebuildsExactlyTheObjectsThatChanged) {
  const size_t n = 203;
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> uni(-1.0f, 1.0f);
  for (int mode : {1, 0})
    for (int workers : {1, 3}) {
      vorta::host::Scene scene;
      Objects o(n);
      std::vector<int32_t> ids(n);
      for (size_t u = 0; u < n; ++u) {
        float q[4] = {uni(rng), uni(rng), uni(rng), uni(rng)};
        const float len = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
        for (float& x : q) x /= len;
        const float p[3] = {10 * uni(rng), 10 * uni(rng), 10 * uni(rng)};
        const float s[3] = {1 + uni(rng) * 0.5f, 1.5f, 0.75f};
        ids[u] = scene.Add(p, q, s);
        std::memcpy(&o.pos[3 * u], p, sizeof p);
        std::memcpy(&o.rot[4 * u], q, sizeof q);
        std::memcpy(&o.scl[3 * u], s, sizeof s);
        for (int i = 0; i < 16; ++i) o.offset[16 * u + i] = uni(rng) + (i % 5 == 0 ? 1.0f : 0.0f);
        o.source[u] = static_cast<int32_t>(u % 3 == 0);
        o.dirty[u] = u % 11 == 0 ? 2 : 0;  // bits other than 0 do not force a rebuild
      }
      vorta::host::TransformArray array(scene, ids);
      std::vector<int32_t> sorted(n);
      std::iota(sorted.begin(), sorted.end(), 0);
      std::shuffle(sorted.begin(), sorted.end(), rng);
      array.SetSortedOrder(sorted);
      // Change the host's transforms after the caches were filled.
      std::vector<Change> change(n);
      for (size_t u = 0; u < n; ++u) {
        change[u] = static_cast<Change>(u % kChangeCount);
        vorta::host::Transform& t = scene.At(ids[u]);
        float p[3] = {t.position[0], t.position[1], t.position[2]};
        float q[4] = {t.rotation[0], t.rotation[1], t.rotation[2], t.rotation[3]};
        float s[3] = {t.localScale[0], t.localScale[1], t.localScale[2]};
        if (change[u] == kMoved) p[1] += 0.5f;
        if (change[u] == kTurned) q[0] += 0.25f;
        if (change[u] == kNegated) for (float& x : q) x = -x;
        if (change[u] == kRescaled) s[2] *= 2.0f;
        if (change[u] == kDirty) o.dirty[u] |= 1;
        if (change[u] == kNanPosition) p[0] = std::nanf("");
        scene.SetTrs(ids[u], p, q, s);
      }
      const Objects before = o;
      VortaTransformTrackingJob job = o.Job(0.01f);
      VortaTransformJobTarget target{array.Handle(), mode};
      vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_TRANSFORMS_TRACKING), &job,
                          sizeof job, static_cast<int32_t>(n), Schedule(workers, 9, true, true, 5),
                          &target);
      for (size_t u = 0; u < n; ++u) {
        const vorta::host::Transform& t = scene.At(ids[u]);
        const bool rebuilt = change[u] != kStatic && change[u] != kNanPosition;
        SCOPED_TRACE(testing::Message() << "mode " << mode << " workers " << workers << " object "
                                        << u << " change " << change[u]);
        if (!rebuilt) {
          EXPECT_EQ(0, std::memcmp(&o.world[16 * u], &before.world[16 * u], 64));
          EXPECT_EQ(0, std::memcmp(&o.combined[16 * u], &before.combined[16 * u], 64));
          EXPECT_EQ(0, std::memcmp(&o.spheres[4 * u], &before.spheres[4 * u], 16));
          EXPECT_EQ(0, std::memcmp(&o.pos[3 * u], &before.pos[3 * u], 12));  // NaN is no change
          EXPECT_EQ(o.dirty[u], before.dirty[u]);
          continue;
        }
        EXPECT_EQ(0, std::memcmp(&o.pos[3 * u], change[u] == kMoved ? t.position : &before.pos[3 * u], 12));
        const bool turned = change[u] == kTurned || change[u] == kNegated;
        EXPECT_EQ(0, std::memcmp(&o.rot[4 * u], turned ? t.rotation : &before.rot[4 * u], 16));
        EXPECT_EQ(0, std::memcmp(&o.scl[3 * u], t.localScale, 12));
        ExpectRebuilt(t, o, u);
      }
    }
}

TEST_P(TransformsTest, IdentityHostMatrixFlipsTheThirdAxis) {
  vorta::host::Scene scene;
  const float p[3] = {0, 0, 0}, q[4] = {0, 0, 0, 1}, s[3] = {1, 1, 1};
  vorta::host::TransformArray array(scene, {scene.Add(p, q, s)});
  Objects o(1);
  o.rot[3] = 1, o.scl = {1, 1, 1}, o.source[0] = 1, o.dirty[0] = 1;
  for (int i = 0; i < 4; ++i) o.offset[5 * i] = 1;
  VortaTransformTrackingJob job = o.Job(0.0f);
  VortaTransformJobTarget target{array.Handle(), 7};
  vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_TRANSFORMS_TRACKING), &job, sizeof job, 1,
                      Schedule(1, 1, false, false, 2), &target);
  const float world[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, -1, 0, 0, 0, 0, 1};
  const float combined[16] = {1, 0, 0, 0, 0, 0, -1, 0, 0, 1, 0, 0, 0, 0, 0, 1};
  for (int i = 0; i < 16; ++i) {
    EXPECT_NEAR(o.world[i], world[i], 1e-6) << i;
    EXPECT_NEAR(o.combined[i], combined[i], 1e-6) << i;
  }
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(o.spheres[i], 0.0f, 1e-6);
  EXPECT_NEAR(o.spheres[3], 0.8660254f, 1e-6);
  EXPECT_EQ(o.dirty[0], 0);
}

VORTA_INSTANTIATE_VARIANTS(Variants, TransformsTest);

}  // namespace
