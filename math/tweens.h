// Curve tween steps, followers, the speed drive and the small utilities of the
// tween family: direct-call entries.
#pragma once
#include "frame/abi.h"
#include "frame/variant.h"
#include "vorta/vorta.h"

namespace vorta::VORTA_NS {

VORTA_MSABI void Tween4Step(const VortaTween4Step* step);
VORTA_MSABI uint32_t Tween4ModeStep(const VortaTween4Step* step);
VORTA_MSABI void Tween1Step(const VortaTween1Step* step);
VORTA_MSABI void PositionFollow(const float* current, const float* target, float smoothing,
                                float snapDistance, float* out);
VORTA_MSABI void RotationFollowTwoBases(const float* baseA, const float* target,
                                        const float* baseB, float blendRate, float angleLimitA,
                                        float angleLimitB, float blendScale, float* out);
VORTA_MSABI float* PoseFollow(const float* current, const float* currentRotation,
                              const float* target, const float* targetRotation, float smoothing,
                              float snapDistance, float snapAngle, float* outPosition,
                              float* outRotation);
VORTA_MSABI void SpeedDrive(const float* velocity, const float* direction, float speedCap,
                            const float* axis, const float* push, float lowScale,
                            float highScale, float gainAlong, float gainAgainst,
                            float fullEffectAt, uint32_t carryEnabled, float carryDamping,
                            float* carry, float* speed, float deltaTime, float* result);
VORTA_MSABI int32_t LongerThan(const float* v, float limit);
VORTA_MSABI void SetFloatControl(uint32_t value);
VORTA_MSABI int32_t Probe();

}  // namespace vorta::VORTA_NS
