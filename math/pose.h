// Pose, motion and tracking kernels: direct-call entries. Flags are taken as
// 32-bit arguments and read as their Parts say (low byte or bit 0), so garbage
// the caller leaves in the upper bits is ignored.
#pragma once
#include "frame/abi.h"
#include "frame/variant.h"
#include "vorta/vorta.h"

namespace vorta::VORTA_NS {

VORTA_MSABI float* FlightTime(float speed, float gravity, float factor, float height,
                              float extraTime, float* out);
VORTA_MSABI float BoomStep(float factor, float distance, float limit, const VortaVec3* direction,
                           VortaVec3* out, float* outSum, float* outStep);
VORTA_MSABI float BoomReachStep(float factor, float distance, float base, float limit,
                                const VortaVec3* direction, VortaVec3* out, float* outSum,
                                float* outStep);
VORTA_MSABI VortaVec3* AdvanceClamp(const VortaVec3* value, const VortaVec3* rate,
                                    uint32_t bounded, const VortaVec3* lower,
                                    const VortaVec3* upper, float dt1, float dt2, float dt3,
                                    VortaVec3* out);
VORTA_MSABI bool ConeTest(int32_t mode, float angleDeg, uint32_t flatten, const VortaVec3* a,
                          const VortaVec3* b);
VORTA_MSABI bool TrimToBudget(float budget, uint32_t clamp, const VortaVec3* point,
                              const VortaVec3* start, VortaVec3* end, float* total);
VORTA_MSABI void LocalDirection(VortaVec3* out, const VortaVec3* offset, int32_t mode,
                                const VortaFrame* frame, const VortaFrame* target, float s);
VORTA_MSABI void LocalDirectionByRef(VortaVec3* out, const VortaVec3* offset, const int32_t* mode,
                                     const VortaFrame* frame, const VortaFrame* target);
VORTA_MSABI VortaVec3* AttachmentPoint(const VortaVec3* origin, const VortaQuat* r1,
                                       const VortaQuat* r2, const VortaVec3* scale, uint32_t flag,
                                       const VortaVec3* v, const VortaVec3* b,
                                       const VortaVec3* point, VortaVec3* out);
VORTA_MSABI float PlanarSpread(int32_t side, const void* ignored, const VortaVec3* rootPosition,
                               const VortaQuat* rootRotation, const VortaVec3* p1,
                               const VortaVec3* p2, const VortaVec3* p3, const VortaVec3* p4,
                               float low, float high);
VORTA_MSABI float PlanarBend(const VortaVec3* rootPosition, const VortaQuat* rootRotation,
                             const VortaVec3* p1, const VortaVec3* p2, const VortaVec3* p3,
                             const VortaVec3* p4, float low, float high);
VORTA_MSABI float Curl(int32_t threeJoints, const VortaVec3* p0, const VortaVec3* p1,
                       const VortaQuat* frame1, const VortaVec3* p2, const VortaQuat* frame2,
                       const VortaVec3* p3, const VortaQuat* frame3, const VortaVec3* p4,
                       float low1, float high1, float low2, float high2, float low3, float high3);
VORTA_MSABI void InterpolationStep(VortaPose* a, VortaVec3* s, const VortaPose* b,
                                   const VortaVec3* t, float dt, float duration, float* elapsed);
VORTA_MSABI float Openness(const VortaVec3* p0, const VortaVec3* p1, const VortaQuat* frame1,
                           const VortaVec3* p2, const VortaQuat* frame2, const VortaVec3* p3,
                           float low1, float high1, float low2, float high2);
VORTA_MSABI VortaVec3* AxisConstrain(const float* point, const VortaPose* frame, int32_t mode,
                                     uint32_t keepX, uint32_t keepY, uint32_t keepZ,
                                     VortaVec3* out);
VORTA_MSABI void PoseInFrame(const VortaPose* a, const VortaPose* b, float* out);
VORTA_MSABI void RatioScale(const VortaVec3* v, const VortaVec3* current, const VortaVec3* a,
                            const VortaVec3* b, uint32_t clamp, float gain, float deadZone,
                            const VortaVec3* lower, const VortaVec3* upper, VortaVec3* out);
VORTA_MSABI int32_t PathRefresh(int32_t start, int32_t n, float budget, uint32_t blend,
                                uint32_t useBudget, float f, VortaVec3* const* source,
                                VortaVec3* const* previous, VortaPointList* destination);
VORTA_MSABI bool DirectionalCone(int32_t axisMode, int32_t testMode, int32_t targetMode,
                                 float angleDeg, uint32_t flatten, const VortaVec3* offset,
                                 const VortaQuat* axisRotation, const VortaFrame* frame,
                                 const VortaFrame* target, float side);
VORTA_MSABI bool DirectionalConeFirstTable(int32_t axisMode, int32_t testMode, int32_t targetMode,
                                           float angleDeg, const VortaVec3* offset,
                                           const VortaQuat* axisRotation, const VortaFrame* frame,
                                           const VortaFrame* target, uint32_t flatten,
                                           float side);
VORTA_MSABI VortaQuat* ComposePose(const VortaVec3* origin, const VortaQuat* r,
                                   const VortaVec3* v, const VortaQuat* qa, const VortaQuat* qb,
                                   VortaVec3* outPosition, VortaQuat* outRotation);
VORTA_MSABI void HandJoints(VortaHandJoint* const* source, VortaPose* const* output,
                            void* unused1, void* unused2);
VORTA_MSABI void ThrowAssist(const VortaVec3* from, const VortaVec3* to,
                             const VortaVec3* velocity, float gravity, float maxAngleDeg,
                             float minSpeed, float speedCapFactor, float blend, float threshold,
                             VortaVec3* out);
VORTA_MSABI void TwoStageSmooth(VortaPose* a, VortaVec3* p, const VortaPose* target,
                                const VortaVec3* targetPoint, float dt, uint32_t movePosition,
                                float positionRate, float positionFactor, uint32_t moveRotation,
                                float rotationRate, float rotationFactor, uint32_t movePoint,
                                float pointRate, float pointFactor);

}  // namespace vorta::VORTA_NS
