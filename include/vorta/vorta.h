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

/* A rotation followed by a position: the frame of the local-direction kernels
 * and the directional cone tests. */
typedef struct VORTA_PACKED VortaFrame {
  VortaQuat rotation;
  VortaVec3 position;
} VortaFrame;
VORTA_CHECK_OFFSET(VortaFrame, rotation, 0);
VORTA_CHECK_OFFSET(VortaFrame, position, 16);
VORTA_CHECK_SIZE(VortaFrame, 28);

/* A position followed by a rotation: every other pose argument (and the origin
 * and rotation of the axis-constrained point). */
typedef struct VORTA_PACKED VortaPose {
  VortaVec3 position;
  VortaQuat rotation;
} VortaPose;
VORTA_CHECK_OFFSET(VortaPose, position, 0);
VORTA_CHECK_OFFSET(VortaPose, rotation, 12);
VORTA_CHECK_SIZE(VortaPose, 28);

/* One tracked hand joint; bit 1 of flags marks it valid (record 0: the hand). */
typedef struct VORTA_PACKED VortaHandJoint {
  uint32_t unused;
  VortaVec3 position;
  VortaQuat rotation;
  uint8_t reserved[28];
  uint32_t flags;
} VortaHandJoint;
VORTA_CHECK_OFFSET(VortaHandJoint, position, 4);
VORTA_CHECK_OFFSET(VortaHandJoint, rotation, 16);
VORTA_CHECK_OFFSET(VortaHandJoint, flags, 60);
VORTA_CHECK_SIZE(VortaHandJoint, 64);
#define VORTA_HAND_JOINT_COUNT 26
#define VORTA_HAND_JOINT_VALID 2u

/* The destination of the path refresh: the points and how many it holds. */
typedef struct VORTA_PACKED VortaPointList {
  VortaVec3* points;
  int32_t count;
  uint32_t reserved;
} VortaPointList;
VORTA_CHECK_OFFSET(VortaPointList, points, 0);
VORTA_CHECK_OFFSET(VortaPointList, count, 8);
VORTA_CHECK_SIZE(VortaPointList, 16);

/* The tween steps. The plain four-float step reads bytes 16 to 111 only; the
 * moded one also mode and modeFactor. */
typedef struct VORTA_PACKED VortaTween4Step {
  float base[4];
  float from[4];
  float to[4];
  uint8_t phase;
  uint8_t reserved0[7];
  VortaSampledCurve curve;
  float current[4];
  float rate;
  uint32_t reserved1;
  float* result;
  uint8_t reserved2[8];
  uint8_t mode;
  uint8_t reserved3[3];
  float modeFactor;
} VortaTween4Step;
VORTA_CHECK_OFFSET(VortaTween4Step, from, 16);
VORTA_CHECK_OFFSET(VortaTween4Step, to, 32);
VORTA_CHECK_OFFSET(VortaTween4Step, phase, 48);
VORTA_CHECK_OFFSET(VortaTween4Step, curve, 56);
VORTA_CHECK_OFFSET(VortaTween4Step, current, 80);
VORTA_CHECK_OFFSET(VortaTween4Step, rate, 96);
VORTA_CHECK_OFFSET(VortaTween4Step, result, 104);
VORTA_CHECK_OFFSET(VortaTween4Step, mode, 120);
VORTA_CHECK_OFFSET(VortaTween4Step, modeFactor, 124);
VORTA_CHECK_SIZE(VortaTween4Step, 128);

typedef struct VORTA_PACKED VortaTween3Step {
  uint8_t reserved0[12];
  float from[3];
  float to[3];
  uint8_t phase;
  uint8_t reserved1[3];
  VortaSampledCurve curve;
  float current[3];
  float rate;
  float* result;
  uint8_t reserved2[8];
} VortaTween3Step;
VORTA_CHECK_OFFSET(VortaTween3Step, from, 12);
VORTA_CHECK_OFFSET(VortaTween3Step, to, 24);
VORTA_CHECK_OFFSET(VortaTween3Step, phase, 36);
VORTA_CHECK_OFFSET(VortaTween3Step, curve, 40);
VORTA_CHECK_OFFSET(VortaTween3Step, current, 64);
VORTA_CHECK_OFFSET(VortaTween3Step, rate, 76);
VORTA_CHECK_OFFSET(VortaTween3Step, result, 80);
VORTA_CHECK_SIZE(VortaTween3Step, 96);

typedef struct VORTA_PACKED VortaTween2Step {
  uint8_t reserved0[8];
  float from[2];
  float to[2];
  uint8_t phase;
  uint8_t reserved1[7];
  VortaSampledCurve curve;
  float current[2];
  float rate;
  uint32_t reserved2;
  float* result;
  uint8_t reserved3[8];
} VortaTween2Step;
VORTA_CHECK_OFFSET(VortaTween2Step, from, 8);
VORTA_CHECK_OFFSET(VortaTween2Step, to, 16);
VORTA_CHECK_OFFSET(VortaTween2Step, phase, 24);
VORTA_CHECK_OFFSET(VortaTween2Step, curve, 32);
VORTA_CHECK_OFFSET(VortaTween2Step, current, 56);
VORTA_CHECK_OFFSET(VortaTween2Step, rate, 64);
VORTA_CHECK_OFFSET(VortaTween2Step, result, 72);
VORTA_CHECK_SIZE(VortaTween2Step, 88);

typedef struct VORTA_PACKED VortaTween1Step {
  uint32_t reserved0;
  float from;
  float to;
  uint8_t phase;
  uint8_t reserved1[3];
  VortaSampledCurve curve;
  float current;
  float rate;
  float* result;
} VortaTween1Step;
VORTA_CHECK_OFFSET(VortaTween1Step, from, 4);
VORTA_CHECK_OFFSET(VortaTween1Step, to, 8);
VORTA_CHECK_OFFSET(VortaTween1Step, phase, 12);
VORTA_CHECK_OFFSET(VortaTween1Step, curve, 16);
VORTA_CHECK_OFFSET(VortaTween1Step, current, 40);
VORTA_CHECK_OFFSET(VortaTween1Step, rate, 44);
VORTA_CHECK_OFFSET(VortaTween1Step, result, 48);
VORTA_CHECK_SIZE(VortaTween1Step, 56);

/* A host array header: only the leading address is read. */
typedef struct VORTA_PACKED VortaHostArray {
  void* data;
  uint64_t reserved;
} VortaHostArray;
VORTA_CHECK_SIZE(VortaHostArray, 16);

/* Emitter culling around a listener. Per emitter: sourcePoses and sourceFrames
 * 64 bytes, rangeParams (maxRange, rolloff), extraPair 8 bytes, columnWords
 * four words, layers 4 bytes (layer in the low 5 bits of the first), gains one
 * float, spheres (x, y, z, radius), ids one word. Per accepted emitter:
 * outPoses and outFrames 64 bytes, outIds one word; outBatches (first, end). */
typedef struct VORTA_PACKED VortaEmitterCullArgs {
  VortaHostArray sourcePoses;
  VortaHostArray sourceFrames;
  uint8_t reserved0[16];
  VortaHostArray rangeParams;
  VortaHostArray extraPair;
  VortaHostArray columnWords;
  VortaHostArray layers;
  uint8_t reserved1[16];
  VortaHostArray gains;
  VortaHostArray spheres;
  VortaHostArray ids;
  float listener[3];
  uint8_t reserved2[12];
  uint32_t layerMask;
  uint32_t reserved3;
  VortaHostArray candidates;
  int32_t candidateCount;
  float maxDistance;
  VortaHostArray outPoses;
  VortaHostArray outFrames;
  VortaHostArray outIds;
  VortaHostArray outBatches;
  int32_t* outBatchCount;
} VortaEmitterCullArgs;
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, sourceFrames, 16);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, rangeParams, 48);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, extraPair, 64);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, columnWords, 80);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, layers, 96);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, gains, 128);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, spheres, 144);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, ids, 160);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, listener, 176);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, layerMask, 200);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, candidates, 208);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, candidateCount, 224);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, maxDistance, 228);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, outPoses, 232);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, outFrames, 248);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, outIds, 264);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, outBatches, 280);
VORTA_CHECK_OFFSET(VortaEmitterCullArgs, outBatchCount, 296);
VORTA_CHECK_SIZE(VortaEmitterCullArgs, 304);
/* Accepted emitters are cut into batches of at most this many. */
#define VORTA_EMITTER_BATCH 250

/* Entry signatures. Flags documented as a low bit are read from bit 0 only,
 * other bool flags from the low byte; int32 arguments from the low 32 bits. */
typedef float*(VORTA_CALL* VortaFlightTimeFn)(float speed, float gravity, float factor,
                                             float height, float extraTime, float* out);
typedef float(VORTA_CALL* VortaBoomStepFn)(float factor, float distance, float limit,
                                          const VortaVec3* direction, VortaVec3* out,
                                          float* outSum, float* outStep);
typedef float(VORTA_CALL* VortaBoomReachStepFn)(float factor, float distance, float base,
                                               float limit, const VortaVec3* direction,
                                               VortaVec3* out, float* outSum, float* outStep);
typedef VortaVec3*(VORTA_CALL* VortaAdvanceClampFn)(const VortaVec3* value, const VortaVec3* rate,
                                                    bool bounded, const VortaVec3* lower,
                                                    const VortaVec3* upper, float dt1, float dt2,
                                                    float dt3, VortaVec3* out);
typedef bool(VORTA_CALL* VortaConeTestFn)(int32_t mode, float angleDeg, bool flatten,
                                         const VortaVec3* a, const VortaVec3* b);
typedef bool(VORTA_CALL* VortaTrimToBudgetFn)(float budget, bool clamp, const VortaVec3* point,
                                             const VortaVec3* start, VortaVec3* end,
                                             float* total);
typedef void(VORTA_CALL* VortaLocalDirectionFn)(VortaVec3* out, const VortaVec3* offset,
                                               int32_t mode, const VortaFrame* frame,
                                               const VortaFrame* target, float s);
typedef void(VORTA_CALL* VortaLocalDirectionByRefFn)(VortaVec3* out, const VortaVec3* offset,
                                                    const int32_t* mode, const VortaFrame* frame,
                                                    const VortaFrame* target);
typedef VortaVec3*(VORTA_CALL* VortaAttachmentPointFn)(
    const VortaVec3* origin, const VortaQuat* r1, const VortaQuat* r2, const VortaVec3* scale,
    bool flag, const VortaVec3* v, const VortaVec3* b, const VortaVec3* point, VortaVec3* out);
typedef float(VORTA_CALL* VortaPlanarSpreadFn)(int32_t side, const void* ignored,
                                              const VortaVec3* rootPosition,
                                              const VortaQuat* rootRotation, const VortaVec3* p1,
                                              const VortaVec3* p2, const VortaVec3* p3,
                                              const VortaVec3* p4, float low, float high);
typedef float(VORTA_CALL* VortaPlanarBendFn)(const VortaVec3* rootPosition,
                                            const VortaQuat* rootRotation, const VortaVec3* p1,
                                            const VortaVec3* p2, const VortaVec3* p3,
                                            const VortaVec3* p4, float low, float high);
typedef float(VORTA_CALL* VortaCurlFn)(int32_t threeJoints, const VortaVec3* p0,
                                      const VortaVec3* p1, const VortaQuat* frame1,
                                      const VortaVec3* p2, const VortaQuat* frame2,
                                      const VortaVec3* p3, const VortaQuat* frame3,
                                      const VortaVec3* p4, float low1, float high1, float low2,
                                      float high2, float low3, float high3);
typedef void(VORTA_CALL* VortaInterpolationStepFn)(VortaPose* a, VortaVec3* s, const VortaPose* b,
                                                  const VortaVec3* t, float dt, float duration,
                                                  float* elapsed);
typedef float(VORTA_CALL* VortaOpennessFn)(const VortaVec3* p0, const VortaVec3* p1,
                                          const VortaQuat* frame1, const VortaVec3* p2,
                                          const VortaQuat* frame2, const VortaVec3* p3, float low1,
                                          float high1, float low2, float high2);
typedef VortaVec3*(VORTA_CALL* VortaAxisConstrainFn)(const float* point, const VortaPose* frame,
                                                     int32_t mode, bool keepX, bool keepY,
                                                     bool keepZ, VortaVec3* out);
typedef void(VORTA_CALL* VortaPoseInFrameFn)(const VortaPose* a, const VortaPose* b, float* out);
typedef void(VORTA_CALL* VortaRatioScaleFn)(const VortaVec3* v, const VortaVec3* current,
                                           const VortaVec3* a, const VortaVec3* b, bool clamp,
                                           float gain, float deadZone, const VortaVec3* lower,
                                           const VortaVec3* upper, VortaVec3* out);
typedef int32_t(VORTA_CALL* VortaPathRefreshFn)(int32_t start, int32_t n, float budget, bool blend,
                                               bool useBudget, float f,
                                               VortaVec3* const* source,
                                               VortaVec3* const* previous,
                                               VortaPointList* destination);
typedef bool(VORTA_CALL* VortaDirectionalConeFn)(int32_t axisMode, int32_t testMode,
                                                int32_t targetMode, float angleDeg, bool flatten,
                                                const VortaVec3* offset,
                                                const VortaQuat* axisRotation,
                                                const VortaFrame* frame, const VortaFrame* target,
                                                float side);
typedef bool(VORTA_CALL* VortaDirectionalConeFirstTableFn)(
    int32_t axisMode, int32_t testMode, int32_t targetMode, float angleDeg,
    const VortaVec3* offset, const VortaQuat* axisRotation, const VortaFrame* frame,
    const VortaFrame* target, bool flatten, float side);
typedef VortaQuat*(VORTA_CALL* VortaComposePoseFn)(const VortaVec3* origin, const VortaQuat* r,
                                                   const VortaVec3* v, const VortaQuat* qa,
                                                   const VortaQuat* qb, VortaVec3* outPosition,
                                                   VortaQuat* outRotation);
typedef void(VORTA_CALL* VortaHandJointsFn)(VortaHandJoint* const* source,
                                           VortaPose* const* output, void* unused1,
                                           void* unused2);
typedef void(VORTA_CALL* VortaThrowAssistFn)(const VortaVec3* from, const VortaVec3* to,
                                            const VortaVec3* velocity, float gravity,
                                            float maxAngleDeg, float minSpeed,
                                            float speedCapFactor, float blend, float threshold,
                                            VortaVec3* out);
typedef void(VORTA_CALL* VortaTwoStageSmoothFn)(VortaPose* a, VortaVec3* p,
                                               const VortaPose* target,
                                               const VortaVec3* targetPoint, float dt,
                                               bool movePosition, float positionRate,
                                               float positionFactor, bool moveRotation,
                                               float rotationRate, float rotationFactor,
                                               bool movePoint, float pointRate, float pointFactor);

typedef void(VORTA_CALL* VortaTween4StepFn)(const VortaTween4Step* step);
typedef uint32_t(VORTA_CALL* VortaTween4ModeStepFn)(const VortaTween4Step* step);
typedef void(VORTA_CALL* VortaTween1StepFn)(const VortaTween1Step* step);
typedef void(VORTA_CALL* VortaPositionFollowFn)(const float* current, const float* target,
                                               float smoothing, float snapDistance, float* out);
typedef void(VORTA_CALL* VortaRotationFollowTwoBasesFn)(const float* baseA, const float* target,
                                                       const float* baseB, float blendRate,
                                                       float angleLimitA, float angleLimitB,
                                                       float blendScale, float* out);
typedef float*(VORTA_CALL* VortaPoseFollowFn)(const float* current, const float* currentRotation,
                                             const float* target, const float* targetRotation,
                                             float smoothing, float snapDistance, float snapAngle,
                                             float* outPosition, float* outRotation);
typedef void(VORTA_CALL* VortaSpeedDriveFn)(const float* velocity, const float* direction,
                                           float speedCap, const float* axis, const float* push,
                                           float lowScale, float highScale, float gainAlong,
                                           float gainAgainst, float fullEffectAt,
                                           uint8_t carryEnabled, float carryDamping,
                                           float* carry, float* speed, float deltaTime,
                                           float* result);
typedef int32_t(VORTA_CALL* VortaLongerThanFn)(const float* v, float limit);
typedef void(VORTA_CALL* VortaSetFloatControlFn)(uint32_t value);
typedef int32_t(VORTA_CALL* VortaProbeFn)(void);

typedef void(VORTA_CALL* VortaTween3StepFn)(const VortaTween3Step* step);
typedef void(VORTA_CALL* VortaTween2StepFn)(const VortaTween2Step* step);
typedef float(VORTA_CALL* VortaStagedEaseFn)(float t, float p);
typedef void(VORTA_CALL* VortaEmitterCullFn)(const VortaEmitterCullArgs* args);
typedef void(VORTA_CALL* VortaAimFn)(const float* anchor, const float* eye,
                                    const float* aimDirection, const float* up,
                                    const float* target, float distanceScale, float zoomScale,
                                    float* rotationOut, float* factorOut, float* zoomOut);

#define VORTA_EXPORT_POSE_FLIGHT_TIME "8008a6a3699780086c12ba5f1e4708d7"
#define VORTA_EXPORT_POSE_BOOM_STEP "df27f962efaa79731715cfa641dbd7ac"
#define VORTA_EXPORT_POSE_BOOM_REACH_STEP "30cd4b053d1276ba6e25dda69ba981e0"
#define VORTA_EXPORT_POSE_ADVANCE_CLAMP "c1d63f109aae977902338c147017af56"
#define VORTA_EXPORT_POSE_CONE_TEST "b4b81fd9b5c963be8ba85e0d6a7cbf24"
#define VORTA_EXPORT_POSE_TRIM_TO_BUDGET "4e509619013155cf0bcd3db17ef56b1b"
#define VORTA_EXPORT_POSE_LOCAL_DIRECTION "65de7d2204a1e10f2250c90b243b10ef"
#define VORTA_EXPORT_POSE_LOCAL_DIRECTION_BY_REF "11e170df12c955c12f50785c07022b9f"
#define VORTA_EXPORT_POSE_ATTACHMENT_POINT "9cb9cf971e315f2fd2c9f66410fd9f72"
#define VORTA_EXPORT_POSE_PLANAR_SPREAD "5f51fa9bf8124233efd224099de2ddb8"
#define VORTA_EXPORT_POSE_PLANAR_BEND "7ff21cb61ac6a8390d3860bba28430dc"
#define VORTA_EXPORT_POSE_CURL "56cc3b6f068b334b83e59add8d36000a"
#define VORTA_EXPORT_POSE_INTERPOLATION_STEP "fbf8a8bea50a64ea6167190933a8c2ec"
#define VORTA_EXPORT_POSE_OPENNESS "011daec511c22bf17932a43acccf31dd"
#define VORTA_EXPORT_POSE_AXIS_CONSTRAIN "8e6846f7e4ef61c1e84db2157a9f15e7"
#define VORTA_EXPORT_POSE_IN_FRAME "f254710114b3015fcc8337307d1eac3f"
#define VORTA_EXPORT_POSE_RATIO_SCALE "999bc20f879c063e23e71d42f662b971"
#define VORTA_EXPORT_POSE_PATH_REFRESH "0a9a1a48f398318d8f22ebd795db28b3"
#define VORTA_EXPORT_POSE_DIRECTIONAL_CONE "34876e102f6d6bca0265e02ab5d11e58"
#define VORTA_EXPORT_POSE_DIRECTIONAL_CONE_FIRST_TABLE "829f4df2e4b029e5525415e09cbcf7b6"
#define VORTA_EXPORT_POSE_COMPOSE "d25cb729a424e7fa5ef9105d2c698524"
#define VORTA_EXPORT_POSE_HAND_JOINTS "90f654e7d4148ae1636b3d9df8bee384"
#define VORTA_EXPORT_POSE_THROW_ASSIST "1e08dab93568e9f4a5078990b82d492b"
#define VORTA_EXPORT_POSE_TWO_STAGE_SMOOTH "9047fd4b6010891c75ac987c92c57b84"

#define VORTA_EXPORT_TWEENS_TWEEN4_STEP "34aec427743d7d01c0cb7a219c9fbe32"
#define VORTA_EXPORT_TWEENS_TWEEN4_MODE_STEP "25939b8474af666369f4cf1d8ab2eefc"
#define VORTA_EXPORT_TWEENS_TWEEN1_STEP "c06f54b5eb2bc9082fba4f33dc266ab3"
#define VORTA_EXPORT_TWEENS_POSITION_FOLLOW "8249a29e4a374a92c1d46ce75d536213"
#define VORTA_EXPORT_TWEENS_ROTATION_FOLLOW_TWO_BASES "31fc113e5d7b7812a6f3a88d21bfd40f"
#define VORTA_EXPORT_TWEENS_POSE_FOLLOW "be8e44ac4851501881c06c4a06350c64"
#define VORTA_EXPORT_TWEENS_SPEED_DRIVE "3fbc413bdf4ca83ec4d7d1bd9c7a8750"
#define VORTA_EXPORT_TWEENS_LONGER_THAN "e69ec81caacc942294c0fb8df3384c9e"
#define VORTA_EXPORT_TWEENS_SET_FLOAT_CONTROL "da352d92cabf024fc9986011d52a4537"
#define VORTA_EXPORT_TWEENS_PROBE "8c2be93e18276203cbd918daa2748a10"

#define VORTA_EXPORT_AIMING_TWEEN3_STEP "8b2561c181baea92bb80a409701e9b50"
#define VORTA_EXPORT_AIMING_TWEEN2_STEP "3084844e7184a69cd445cd0b0e6bab4a"
#define VORTA_EXPORT_AIMING_STAGED_EASE "85f7960146e9f8ac4446266cd9babc8a"
#define VORTA_EXPORT_AIMING_EMITTER_CULL "aa309157da5950aa53ed6075709e6e40"
#define VORTA_EXPORT_AIMING_AIM "e9df46149c75cbf1185bdaa5e4cf8cb3"

/* ---- non-maximum suppression, top-k, random tensors, recurrent cell, ROI align */

/* ---- further maps, grid sampling, parameterised maps, small utilities ------ */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORTA_VORTA_H */
