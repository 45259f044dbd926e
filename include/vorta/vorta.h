/* vorta: the public header for hosts.
 *
 * Everything a host needs to call the library without reading its sources:
 * the calling convention, the job and direct entry shapes, the records every
 * kernel takes (packed, little-endian, with their offsets checked at compile
 * time) and the export name of every kernel as a named constant, grouped by
 * family. Valid C11 and C++; the kernel sources include it too, so each
 * record has exactly one definition.
 */
#ifndef VORTA_VORTA_H
#define VORTA_VORTA_H

#include <stddef.h>
#include <stdint.h>

/* Every export and every host service uses the Windows x64 convention. */
#define VORTA_CALL __attribute__((ms_abi))
/* Records are packed: the host writes them at the byte offsets given here. */
#define VORTA_PACKED __attribute__((packed))

#ifdef __cplusplus
#define VORTA_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#define VORTA_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Checks a record field's byte offset. */
#define VORTA_CHECK_OFFSET(type, field, offset) \
  VORTA_STATIC_ASSERT(offsetof(type, field) == (offset), #type "." #field " at " #offset)
#define VORTA_CHECK_SIZE(type, size) \
  VORTA_STATIC_ASSERT(sizeof(type) == (size), "sizeof(" #type ") == " #size)

/* The host's descriptor of a job's index space. */
typedef struct VortaBatchRanges VortaBatchRanges;

/* A parallel kernel: called once per worker, all with the same record and
 * ranges and each with its own job index. */
typedef void(VORTA_CALL* VortaJobEntry)(void* record, void* additional, void* patch,
                                        VortaBatchRanges* ranges, uint32_t jobIndex);

/* Looks a host service up by its dotted name; never returns null. */
typedef void*(VORTA_CALL* VortaResolver)(const char* name);
typedef void(VORTA_CALL* VortaInitialize)(VortaResolver resolver);
#define VORTA_EXPORT_INITIALIZE "vorta.initialize"

/* ---- matrix multiplication and convolution -------------------------------- */

/* ---- arg reductions, softmax, normalisation, cumulative sums --------------- */

/* ---- data movement, gather, scatter and select ----------------------------- */

/* ---- pooling, pad and resize ----------------------------------------------- */

/* ---- contraction, column-to-image and normalisation apply ------------------ */

/* ---- scene: transforms, light bounds and binning, depth bins --------------- */

/* ---- direct-call maths: easing, curves, geometry, rotations ---------------- */
#ifndef __cplusplus
#include <stdbool.h> /* bool results */
#endif

/* Three floats, 12 bytes; direct-call kernels take and write them by pointer. */
typedef struct VORTA_PACKED VortaVec3 {
  float x, y, z;
} VortaVec3;
VORTA_CHECK_OFFSET(VortaVec3, x, 0);
VORTA_CHECK_OFFSET(VortaVec3, y, 4);
VORTA_CHECK_OFFSET(VortaVec3, z, 8);
VORTA_CHECK_SIZE(VortaVec3, 12);

/* A rotation: vector part (x, y, z) and scalar part w, 16 bytes. */
typedef struct VORTA_PACKED VortaQuat {
  float x, y, z, w;
} VortaQuat;
VORTA_CHECK_OFFSET(VortaQuat, x, 0);
VORTA_CHECK_OFFSET(VortaQuat, y, 4);
VORTA_CHECK_OFFSET(VortaQuat, z, 8);
VORTA_CHECK_OFFSET(VortaQuat, w, 12);
VORTA_CHECK_SIZE(VortaQuat, 16);

/* The record the segment-shortening kernel writes: new start, midpoint, new end. */
typedef struct VORTA_PACKED VortaSegment {
  VortaVec3 start, middle, end;
} VortaSegment;
VORTA_CHECK_OFFSET(VortaSegment, start, 0);
VORTA_CHECK_OFFSET(VortaSegment, middle, 12);
VORTA_CHECK_OFFSET(VortaSegment, end, 24);
VORTA_CHECK_SIZE(VortaSegment, 36);

/* An evenly sampled float curve over [0, 1] (embedded in the tween records).
 * Wrap modes before 0 and after 1: VORTA_WRAP_LOOP, VORTA_WRAP_PING_PONG, any
 * other value clamps. */
typedef struct VORTA_PACKED VortaSampledCurve {
  const float* samples;
  int32_t sampleCount; /* at least 1 */
  int32_t reserved0;   /* not read */
  int32_t preWrap;
  int32_t postWrap;
} VortaSampledCurve;
VORTA_CHECK_OFFSET(VortaSampledCurve, samples, 0);
VORTA_CHECK_OFFSET(VortaSampledCurve, sampleCount, 8);
VORTA_CHECK_OFFSET(VortaSampledCurve, preWrap, 16);
VORTA_CHECK_OFFSET(VortaSampledCurve, postWrap, 20);
VORTA_CHECK_SIZE(VortaSampledCurve, 24);
#define VORTA_WRAP_LOOP 2
#define VORTA_WRAP_PING_PONG 4

/* Entry shapes. Vectors and rotations by pointer, scalars by value; kernels
 * returning bool set the low byte of the result register. */
typedef float(VORTA_CALL* VortaEaseFn)(float from, float to, float time, float rate);
typedef void(VORTA_CALL* VortaEaseVec3Fn)(const VortaVec3* from, const VortaVec3* to, float time,
                                          VortaVec3* out, float rate);
typedef VortaVec3*(VORTA_CALL* VortaQuadraticPointFn)(const VortaVec3* p0, const VortaVec3* p1,
                                                      const VortaVec3* p2, float t,
                                                      VortaVec3* out);
typedef VortaVec3*(VORTA_CALL* VortaCubicPointFn)(const VortaVec3* p0, const VortaVec3* p1,
                                                  const VortaVec3* p2, const VortaVec3* p3,
                                                  float t, VortaVec3* out);
typedef void(VORTA_CALL* VortaCurveSampleFn)(int32_t count, float reach, const VortaVec3* start,
                                             const VortaVec3* direction, const VortaVec3* end,
                                             VortaVec3** points);
typedef bool(VORTA_CALL* VortaTrimmedCurveFn)(int32_t count, float reach, const VortaVec3* start,
                                              const VortaVec3* direction, const VortaVec3* end,
                                              VortaVec3** points, float minimumLength,
                                              float trimStart, float trimEnd);
typedef bool(VORTA_CALL* VortaTrimmedQuadraticFn)(int32_t count, const VortaVec3* start,
                                                  const VortaVec3* control, const VortaVec3* end,
                                                  VortaVec3** points, float minimumLength,
                                                  float trimStart, float trimEnd);
typedef void(VORTA_CALL* VortaQuadraticToCubicFn)(const VortaVec3* first,
                                                  const VortaVec3* control,
                                                  const VortaVec3* last, VortaVec3* out0,
                                                  VortaVec3* out1, VortaVec3* out2,
                                                  VortaVec3* out3);
typedef float(VORTA_CALL* VortaChordLengthFn)(const VortaVec3* p0, const VortaVec3* p1,
                                              const VortaVec3* p2, const VortaVec3* p3,
                                              int32_t count);
typedef VortaVec3*(VORTA_CALL* VortaMotionFn)(const VortaVec3* position,
                                              const VortaVec3* velocity,
                                              const VortaVec3* acceleration, float t,
                                              VortaVec3* out);

typedef void(VORTA_CALL* VortaVec3BinaryFn)(const VortaVec3* a, const VortaVec3* b,
                                            VortaVec3* out);
typedef float(VORTA_CALL* VortaVec3BinaryZFn)(const VortaVec3* a, const VortaVec3* b,
                                              VortaVec3* out);
typedef void(VORTA_CALL* VortaSubScaledFn)(const VortaVec3* a, const VortaVec3* b, float s,
                                           VortaVec3* out);
typedef void(VORTA_CALL* VortaProjectOnLineFn)(const VortaVec3* origin, const VortaVec3* dir,
                                               const VortaVec3* p, VortaVec3* out);
typedef VortaVec3*(VORTA_CALL* VortaProjectReaimFn)(const VortaVec3* origin,
                                                    const VortaVec3* dir, const VortaVec3* p,
                                                    const VortaVec3* target, float* distance,
                                                    VortaVec3* out);
typedef void(VORTA_CALL* VortaLineDistanceFn)(const VortaVec3* origin, const VortaVec3* p,
                                              const VortaVec3* dir, float* out);
typedef float*(VORTA_CALL* VortaProjectedLengthFn)(const VortaVec3* a, const VortaVec3* b,
                                                   const VortaVec3* dir, float* out1,
                                                   float* out2);
typedef float(VORTA_CALL* VortaDirectionFn)(const VortaVec3* a, const VortaVec3* b,
                                            VortaVec3* dirOut, float* sqrOut, float* lenOut);
typedef float(VORTA_CALL* VortaDistanceSqFn)(const VortaVec3* a, const VortaVec3* b);
typedef bool(VORTA_CALL* VortaVec3TestFn)(const VortaVec3* a, const VortaVec3* b, float r);
typedef void(VORTA_CALL* VortaDivideApartFn)(const VortaVec3* a, const VortaVec3* b,
                                             VortaVec3* out, float eps);
typedef VortaVec3*(VORTA_CALL* VortaFitRatioFn)(const VortaVec3* a, const VortaVec3* b,
                                                const VortaVec3* v, float eps, VortaVec3* out);
typedef float(VORTA_CALL* VortaHalfExtentFn)(const VortaVec3* size, const VortaVec3* target,
                                             const VortaVec3* extent, float margin);
typedef void(VORTA_CALL* VortaPerpendicularFn)(const VortaVec3* v, VortaVec3* out);
typedef void(VORTA_CALL* VortaMoveTowardFn)(const VortaVec3* from, const VortaVec3* to,
                                            float step, VortaVec3* out);
typedef bool(VORTA_CALL* VortaShortenSegmentFn)(const VortaVec3* a, const VortaVec3* b,
                                                float trimA, float trimB,
                                                VortaSegment** segment);
typedef float(VORTA_CALL* VortaRadialFalloffFn)(const VortaVec3* a, const VortaVec3* b,
                                                float inner, float outer);
typedef bool(VORTA_CALL* VortaOutsideRangeFn)(const VortaVec3* a, const VortaVec3* b,
                                              float nearRadius, float farRadius, float num,
                                              float den);
typedef void(VORTA_CALL* VortaClampedFalloffFn)(const VortaVec3* a, const VortaVec3* b,
                                                float range, float scale, float low, float high,
                                                float* out);
typedef void(VORTA_CALL* VortaScalarFalloffFn)(float scale, float dist, float range, float low,
                                               float high, float* out);

typedef void(VORTA_CALL* VortaVectorAngleFn)(const VortaVec3* a, const VortaVec3* b, float* out);
typedef void(VORTA_CALL* VortaRotationAngleFn)(const VortaQuat* q1, const VortaQuat* q2,
                                               float* out);
typedef float(VORTA_CALL* VortaJointAngleFn)(const VortaVec3* a, const VortaVec3* pivot,
                                             const VortaQuat* frame, const VortaVec3* tip);
typedef float(VORTA_CALL* VortaJointOpennessFn)(const VortaVec3* a, const VortaVec3* pivot,
                                                const VortaQuat* frame, const VortaVec3* tip,
                                                float low, float high);
typedef void(VORTA_CALL* VortaRotateAboutFn)(VortaVec3* out, const VortaVec3* origin,
                                             const VortaQuat* rotation, const VortaVec3* point);
typedef void(VORTA_CALL* VortaAxisRotationFn)(VortaVec3* out, int32_t selector,
                                              const VortaQuat* rotation, float s);
/* The 32-bit result is not meaningful. */
typedef uint32_t(VORTA_CALL* VortaLookRotationFn)(const VortaVec3* forward, const VortaVec3* up,
                                                  VortaQuat* out);

#define VORTA_EXPORT_EASING_BOUNCE3 "944197a6c18b440af6a3c7e184b0a8ea"
#define VORTA_EXPORT_EASING_BOUNCE3_VEC3 "cf0ccdf495de6c69724e7970b57d6f23"
#define VORTA_EXPORT_EASING_BOUNCE4 "ac8b4cf9148106aaf5217bf17aaee241"
#define VORTA_EXPORT_EASING_BOUNCE4_VEC3 "eea26d7b91896fe8944ae736daa5a372"
#define VORTA_EXPORT_EASING_BENT_LERP "a04d15623e0ace385aa84304c2f44186"
#define VORTA_EXPORT_EASING_SHIFTED_QUADRATIC "6ae5920e95b1db9d6fc7cbe7f7508557"
#define VORTA_EXPORT_EASING_QUADRATIC_POINT "63b2f9981d71a44d924aa7283d84d208"
#define VORTA_EXPORT_EASING_CUBIC_POINT "aad1b4ef46d6523c44b0358e80aa6bea"
#define VORTA_EXPORT_EASING_SAMPLE_CURVE "1c4a5ee6e6e3402955d801fcdb9a08d2"
#define VORTA_EXPORT_EASING_SAMPLE_CURVE_TWIN "c60fbbac7190bc97c311c175407f76a7"
#define VORTA_EXPORT_EASING_SAMPLE_TRIMMED "8e6f95903615f98ff38ca8f2be4e8857"
#define VORTA_EXPORT_EASING_SAMPLE_TRIMMED_QUADRATIC "db919a7c8d587391570e91c9e21ea427"
#define VORTA_EXPORT_EASING_QUADRATIC_TO_CUBIC "8fe48647e184103032dc65ec1eceb39e"
#define VORTA_EXPORT_EASING_CHORD_LENGTH "25701448b1f69ae71b4afdea19cf3cac"
#define VORTA_EXPORT_EASING_CONSTANT_ACCELERATION "13b19916d3e922efc8b53b928e3c4d02"

#define VORTA_EXPORT_GEOMETRY_PLANE_PROJECT "1819bc9925667b008fd6c3e6019ccf71"
#define VORTA_EXPORT_GEOMETRY_PLANE_PROJECT_TWIN "97d13f55156b1b37e784278d9f6eb4c6"
#define VORTA_EXPORT_GEOMETRY_SUB_SCALED "f1c7f8e7e831ef19052e8c5ce916a0f5"
#define VORTA_EXPORT_GEOMETRY_PROJECT_ON_LINE "7329d85342bb9b210a4d73736896a97a"
#define VORTA_EXPORT_GEOMETRY_PROJECT_REAIM "ab7660213d5d731af491eb397364d3f5"
#define VORTA_EXPORT_GEOMETRY_LINE_DISTANCE "6c0a80fbd493bdaec24ecd185cb0710c"
#define VORTA_EXPORT_GEOMETRY_PROJECTED_LENGTH "cb1d19c66aa9717f998237f4f1b14e13"
#define VORTA_EXPORT_GEOMETRY_DIRECTION "ed0df4aaa6dfa655df2ce8f660cf6297"
#define VORTA_EXPORT_GEOMETRY_DISTANCE_SQ "4dc57432e9e688d5153547b300cb86f2"
#define VORTA_EXPORT_GEOMETRY_WITHIN_RANGE "1f5954d5199b755de462c537b1e97960"
#define VORTA_EXPORT_GEOMETRY_APPROX_EQUAL "eb34c8e60335e02c0acbdc14c457d562"
#define VORTA_EXPORT_GEOMETRY_APPROX_EQUAL_TWIN "38d2c22e2d0048672a6cb84d921d5238"
#define VORTA_EXPORT_GEOMETRY_MULTIPLY "189b94d20814c463563211a5fc88d9a4"
#define VORTA_EXPORT_GEOMETRY_MULTIPLY_Z "4a9f2d0909c3d8debf4369f5b66c2c2b"
#define VORTA_EXPORT_GEOMETRY_DIVIDE_APART "97617acd6f54253917fdba9be8f754d0"
#define VORTA_EXPORT_GEOMETRY_DIVIDE_APART_TWIN "2f1cfb62c82230bea1c5e4483198cf31"
#define VORTA_EXPORT_GEOMETRY_FIT_RATIO "a22ad97cf3b85d2b5f1b74672e4a9214"
#define VORTA_EXPORT_GEOMETRY_HALF_EXTENT "c8e226abeb56708b8945cf150e548cc3"
#define VORTA_EXPORT_GEOMETRY_DOUBLE_CROSS "0efc5e11c4e2815f50262ff4ffe5d4d6"
#define VORTA_EXPORT_GEOMETRY_DOUBLE_CROSS_TWIN "1745ec9b2dfd8892465691a8bc6501f2"
#define VORTA_EXPORT_GEOMETRY_PERPENDICULAR "129828f5f7843aff998314f0456a7420"
#define VORTA_EXPORT_GEOMETRY_MOVE_TOWARD "f7dff2bd72db729912dbed4d76410ac0"
#define VORTA_EXPORT_GEOMETRY_SHORTEN_SEGMENT "b8ed76391201c41cc936f3980b01a312"
#define VORTA_EXPORT_GEOMETRY_RADIAL_FALLOFF "13f911d1e17414feb0430b9164b30ce7"
#define VORTA_EXPORT_GEOMETRY_OUTSIDE_RANGE "29319a8ddceb068e8998451518358c75"
#define VORTA_EXPORT_GEOMETRY_CLAMPED_FALLOFF "bd3c60f4bc640b7f76538b20da89f266"
#define VORTA_EXPORT_GEOMETRY_SCALAR_FALLOFF "b5118d24736a64b3b5909549d3f93ab2"

#define VORTA_EXPORT_ROTATION_VECTOR_ANGLE "01f8a636d5cdcc50bd56c5fd2984144a"
#define VORTA_EXPORT_ROTATION_ROTATION_ANGLE "9972d5c311b51ff2ddfb7a6a287dfd91"
#define VORTA_EXPORT_ROTATION_JOINT_ANGLE "7f33688305e0900e2a3e10d40589d9cf"
#define VORTA_EXPORT_ROTATION_JOINT_OPENNESS "e2831de22df28a8b92b6f7e311b07b65"
#define VORTA_EXPORT_ROTATION_ROTATE_ABOUT "f0340a4ae3753cc3d1ba7ea1b5435d86"
#define VORTA_EXPORT_ROTATION_AXIS "3b10ec09f612b5f61060aad8c91ddd31"
#define VORTA_EXPORT_ROTATION_LOOK_PROJECTED "8fb68744f5c26c14a5ed573359a26f93"
#define VORTA_EXPORT_ROTATION_LOOK_PROJECTED_TWIN "a9bd2aa243b63987555271cf24b42b3a"
#define VORTA_EXPORT_ROTATION_LOOK "56a36c2389379e44d3a29b6c72f61b0a"
#define VORTA_EXPORT_ROTATION_LOOK_TWIN "8719466fc91fb9605ebc271437e7fd0c"

/* ---- direct-call maths: poses, motion, tweens, aiming, culling ------------- */

/* ---- non-maximum suppression, top-k, random tensors, recurrent cell, ROI align */

/* ---- further maps, grid sampling, parameterised maps, small utilities ------ */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORTA_VORTA_H */
