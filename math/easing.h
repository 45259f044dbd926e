// Easing and curve kernels: bounce eases, bent and Bezier interpolation, cubic
// curve sampling (plain and trimmed by arc length), chord length, quadratic to
// cubic control points and constant-acceleration motion.
#pragma once
#include "math/direct_body.h"

namespace vorta::VORTA_NS {

VORTA_DIRECT_BODY(EaseBounce3, VortaEaseFn);
VORTA_DIRECT_BODY(EaseBounce3Vec3, VortaEaseVec3Fn);
VORTA_DIRECT_BODY(EaseBounce4, VortaEaseFn);
VORTA_DIRECT_BODY(EaseBounce4Vec3, VortaEaseVec3Fn);
VORTA_DIRECT_BODY(EaseBentLerp, VortaEaseVec3Fn);
VORTA_DIRECT_BODY(EaseShiftedQuadratic, VortaEaseFn);
VORTA_DIRECT_BODY(QuadraticBezierPoint, VortaQuadraticPointFn);
VORTA_DIRECT_BODY(CubicBezierPoint, VortaCubicPointFn);
VORTA_DIRECT_BODY(SampleCurve, VortaCurveSampleFn);
VORTA_DIRECT_BODY(SampleTrimmedCurve, VortaTrimmedCurveFn);
VORTA_DIRECT_BODY(SampleTrimmedQuadratic, VortaTrimmedQuadraticFn);
VORTA_DIRECT_BODY(QuadraticToCubic, VortaQuadraticToCubicFn);
VORTA_DIRECT_BODY(CubicChordLength, VortaChordLengthFn);
VORTA_DIRECT_BODY(ConstantAcceleration, VortaMotionFn);

}  // namespace vorta::VORTA_NS
