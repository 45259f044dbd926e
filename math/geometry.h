// Vector geometry kernels: projections, distances, component-wise operations
// and comparisons, perpendiculars, segment shortening, range tests and falloffs.
#pragma once
#include "math/direct_body.h"

namespace vorta::VORTA_NS {

VORTA_DIRECT_BODY(PlaneProject, VortaVec3BinaryFn);
VORTA_DIRECT_BODY(SubScaled, VortaSubScaledFn);
VORTA_DIRECT_BODY(ProjectOnLine, VortaProjectOnLineFn);
VORTA_DIRECT_BODY(ProjectReaim, VortaProjectReaimFn);
VORTA_DIRECT_BODY(LineDistance, VortaLineDistanceFn);
VORTA_DIRECT_BODY(ProjectedLength, VortaProjectedLengthFn);
VORTA_DIRECT_BODY(DirectionTo, VortaDirectionFn);
VORTA_DIRECT_BODY(DistanceSq, VortaDistanceSqFn);
VORTA_DIRECT_BODY(WithinRange, VortaVec3TestFn);
VORTA_DIRECT_BODY(ApproxEqual, VortaVec3TestFn);
VORTA_DIRECT_BODY(MultiplyComponents, VortaVec3BinaryFn);
VORTA_DIRECT_BODY(MultiplyComponentsZ, VortaVec3BinaryZFn);
VORTA_DIRECT_BODY(DivideApart, VortaDivideApartFn);
VORTA_DIRECT_BODY(FitRatio, VortaFitRatioFn);
VORTA_DIRECT_BODY(ScaledHalfExtent, VortaHalfExtentFn);
VORTA_DIRECT_BODY(DoubleCross, VortaVec3BinaryFn);
VORTA_DIRECT_BODY(Perpendicular, VortaPerpendicularFn);
VORTA_DIRECT_BODY(MoveToward, VortaMoveTowardFn);
VORTA_DIRECT_BODY(ShortenSegment, VortaShortenSegmentFn);
VORTA_DIRECT_BODY(RadialFalloff, VortaRadialFalloffFn);
VORTA_DIRECT_BODY(OutsideRange, VortaOutsideRangeFn);
VORTA_DIRECT_BODY(ClampedFalloff, VortaClampedFalloffFn);
VORTA_DIRECT_BODY(ScalarFalloff, VortaScalarFalloffFn);

}  // namespace vorta::VORTA_NS
