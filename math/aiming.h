// Float3 and float2 curve tweens, the aiming function, the staged easing and
// the culling of emitters: direct-call entries.
#pragma once
#include "frame/abi.h"
#include "frame/variant.h"
#include "vorta/vorta.h"

namespace vorta::VORTA_NS {

VORTA_MSABI void Tween3Step(const VortaTween3Step* step);
VORTA_MSABI void Tween2Step(const VortaTween2Step* step);
VORTA_MSABI float StagedEaseEntry(float t, float p);
VORTA_MSABI void CullEmitters(const VortaEmitterCullArgs* args);
VORTA_MSABI void Aim(const float* anchor, const float* eye, const float* aimDirection,
                     const float* up, const float* target, float distanceScale, float zoomScale,
                     float* rotationOut, float* factorOut, float* zoomOut);

}  // namespace vorta::VORTA_NS
