// The in-memory scene behind the transform services.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <numeric>
#include <stdexcept>

#include "host/host.h"

namespace vorta::host {

void ComposeTrs(const float p[3], const float q[4], const float s[3], float out[16]) {
  float x = q[0], y = q[1], z = q[2], w = q[3];
  float r[3][3] = {
      // columns of the rotation matrix
      {1 - 2 * (y * y + z * z), 2 * (x * y + w * z), 2 * (x * z - w * y)},
      {2 * (x * y - w * z), 1 - 2 * (x * x + z * z), 2 * (y * z + w * x)},
      {2 * (x * z + w * y), 2 * (y * z - w * x), 1 - 2 * (x * x + y * y)},
  };
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 3; ++i) out[c * 4 + i] = r[c][i] * s[c];
    out[c * 4 + 3] = 0.0f;
  }
  out[12] = p[0];
  out[13] = p[1];
  out[14] = p[2];
  out[15] = 1.0f;
}

int32_t Scene::Add(const float position[3], const float rotation[4], const float scale[3]) {
  Transform t;
  memcpy(t.position, position, sizeof t.position);
  memcpy(t.rotation, rotation, sizeof t.rotation);
  memcpy(t.localScale, scale, sizeof t.localScale);
  ComposeTrs(position, rotation, scale, t.localToWorld);
  return Add(t);
}

int32_t Scene::Add(const Transform& t) {
  transforms_.push_back(t);
  return static_cast<int32_t>(transforms_.size() - 1);
}

void Scene::SetTrs(int32_t index, const float position[3], const float rotation[4],
                   const float scale[3]) {
  Transform& t = At(index);
  memcpy(t.position, position, sizeof t.position);
  memcpy(t.rotation, rotation, sizeof t.rotation);
  memcpy(t.localScale, scale, sizeof t.localScale);
  ComposeTrs(position, rotation, scale, t.localToWorld);
}

TransformArray::TransformArray(Scene& scene, std::vector<int32_t> transforms)
    : magic_(kMagic), scene_(&scene), transforms_(std::move(transforms)) {
  for (int32_t t : transforms_)
    if (t < 0 || static_cast<size_t>(t) >= scene.Size())
      throw std::invalid_argument("TransformArray: transform index outside the scene");
  sortedToUser_.resize(transforms_.size());
  std::iota(sortedToUser_.begin(), sortedToUser_.end(), 0);
  std::stable_sort(sortedToUser_.begin(), sortedToUser_.end(),
                   [&](int32_t a, int32_t b) { return transforms_[a] < transforms_[b]; });
  Rebuild();
}

TransformArray::~TransformArray() { magic_ = 0; }

void TransformArray::SetSortedOrder(std::vector<int32_t> sortedToUser) {
  std::vector<bool> seen(transforms_.size(), false);
  if (sortedToUser.size() != transforms_.size())
    throw std::invalid_argument("TransformArray: sorted order has the wrong length");
  for (int32_t u : sortedToUser) {
    if (u < 0 || static_cast<size_t>(u) >= seen.size() || seen[u])
      throw std::invalid_argument("TransformArray: sorted order is not a permutation");
    seen[u] = true;
  }
  sortedToUser_ = std::move(sortedToUser);
  Rebuild();
}

void TransformArray::Rebuild() {
  sortedAccess_.clear();
  for (int32_t u : sortedToUser_) sortedAccess_.push_back(TransformAccess{scene_, transforms_[u]});
}

namespace {

const TransformArray& ArrayFromHandle(uintptr_t handle) {
  const TransformArray* a = reinterpret_cast<const TransformArray*>(handle);
  if (!a || !a->IsValid()) {
    fprintf(stderr, "vorta host: %#llx is not a live transform array handle\n",
            static_cast<unsigned long long>(handle));
    fflush(stderr);
    abort();
  }
  return *a;
}

const Transform& TransformFromAccess(const void* access) {
  TransformAccess a;
  memcpy(&a, access, sizeof a);
  if (!a.scene || a.index < 0 || static_cast<size_t>(a.index) >= a.scene->Size()) {
    fprintf(stderr, "vorta host: transform access {%p, %lld} names no transform\n",
            static_cast<void*>(a.scene), static_cast<long long>(a.index));
    fflush(stderr);
    abort();
  }
  return a.scene->At(static_cast<int32_t>(a.index));
}

}  // namespace

namespace service {

VORTA_MSABI int32_t* GetSortedToUserIndex(uintptr_t arrayHandle) {
  return const_cast<int32_t*>(ArrayFromHandle(arrayHandle).SortedToUser().data());
}

VORTA_MSABI void* GetSortedTransformAccess(uintptr_t arrayHandle) {
  return const_cast<TransformAccess*>(ArrayFromHandle(arrayHandle).SortedAccess().data());
}

VORTA_MSABI void GetPosition(const void* access, float* out) {
  memcpy(out, TransformFromAccess(access).position, 3 * sizeof(float));
}

VORTA_MSABI void GetRotation(const void* access, float* out) {
  memcpy(out, TransformFromAccess(access).rotation, 4 * sizeof(float));
}

VORTA_MSABI void GetLocalScale(const void* access, float* out) {
  memcpy(out, TransformFromAccess(access).localScale, 3 * sizeof(float));
}

VORTA_MSABI void GetLocalToWorldMatrix(const void* access, float* out) {
  memcpy(out, TransformFromAccess(access).localToWorld, 16 * sizeof(float));
}

}  // namespace service
}  // namespace vorta::host
