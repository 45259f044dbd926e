// Rotation and angle kernels: angles between vectors, rotations and at joints,
// rotating points and axes by quaternions, and look rotations.
#pragma once
#include "math/direct_body.h"

namespace vorta::VORTA_NS {

VORTA_DIRECT_BODY(VectorAngle, VortaVectorAngleFn);
VORTA_DIRECT_BODY(RotationAngle, VortaRotationAngleFn);
VORTA_DIRECT_BODY(JointAngle, VortaJointAngleFn);
VORTA_DIRECT_BODY(JointOpenness, VortaJointOpennessFn);
VORTA_DIRECT_BODY(RotateAbout, VortaRotateAboutFn);
VORTA_DIRECT_BODY(AxisRotation, VortaAxisRotationFn);
VORTA_DIRECT_BODY(LookRotationProjected, VortaLookRotationFn);
VORTA_DIRECT_BODY(LookRotation, VortaLookRotationFn);

}  // namespace vorta::VORTA_NS
