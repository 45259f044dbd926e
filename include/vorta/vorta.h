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

/* ---- direct-call maths: poses, motion, tweens, aiming, culling ------------- */

/* ---- non-maximum suppression, top-k, random tensors, recurrent cell, ROI align */

/* ---- further maps, grid sampling, parameterised maps, small utilities ------ */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* VORTA_VORTA_H */
