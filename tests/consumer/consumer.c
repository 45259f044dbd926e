/* A minimal host written against the installed package: it links libvorta,
 * includes only <vorta/vorta.h>, serves what initialisation and one map job
 * call (the thread index count and shared memory at initialisation, the range
 * dispenser in the job) with a single worker, and runs the rectified-linear map
 * once. Exits 0 when every output is right. */
#define VORTA_LINKED
#include <vorta/vorta.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define RELU "13790fdabb36dc7bfcda4e03844df92c"
VORTA_DECLARE_JOB(vorta_relu, RELU);

/* The whole job is one batch, handed out once. */
struct VortaBatchRanges {
  int32_t length;
  int32_t given;
};

static VORTA_CALL uintptr_t NextRange(VortaBatchRanges* r, uint32_t job, int32_t* b, int32_t* e) {
  (void)job;
  if (r->given) return 0;
  r->given = 1;
  *b = 0;
  *e = r->length;
  return 1;
}

/* Shared memory: one block per 16-byte key. */
static struct { unsigned char key[16]; void* block; } g_shared[16];
static VORTA_CALL void* SharedMemory(const void* key, uint32_t size, uint32_t alignment) {
  for (int i = 0; i < 16; ++i) {
    if (g_shared[i].block && memcmp(g_shared[i].key, key, 16) == 0) return g_shared[i].block;
    if (!g_shared[i].block) {
      memcpy(g_shared[i].key, key, 16);
      g_shared[i].block = aligned_alloc(alignment < 16 ? 16 : alignment,
                                        (size + alignment - 1) / alignment * alignment);
      memset(g_shared[i].block, 0, size);
      return g_shared[i].block;
    }
  }
  abort();
}

static VORTA_CALL uint32_t ThreadIndexCount(void) { return 1; }

static VORTA_CALL void Unexpected(void) {
  fprintf(stderr, "consumer: a service this host does not serve was called\n");
  exit(2);
}

static VORTA_CALL void* Resolve(const char* name) {
  if (strcmp(name, VORTA_SERVICE_GET_WORK_STEALING_RANGE) == 0) return (void*)&NextRange;
  if (strcmp(name, VORTA_SERVICE_GET_OR_CREATE_SHARED_MEMORY) == 0) return (void*)&SharedMemory;
  if (strcmp(name, VORTA_SERVICE_GET_THREAD_INDEX_COUNT) == 0) return (void*)&ThreadIndexCount;
  return (void*)&Unexpected;
}

typedef struct VORTA_PACKED {
  const float* input;
  float* output;
  int32_t length;
  uint32_t param0, param1;
} Map;

int main(void) {
  vorta_initialize(&Resolve);
  float in[37], out[37];
  for (int i = 0; i < 37; ++i) in[i] = (float)(i - 18) * 0.5f;
  Map job = {in, out, 37, 0, 0};
  VortaBatchRanges ranges = {37, 0};
  vorta_relu(&job, NULL, NULL, &ranges, 0);
  for (int i = 0; i < 37; ++i) {
    if (out[i] != (in[i] > 0 ? in[i] : 0.0f)) {
      fprintf(stderr, "consumer: relu(%g) gave %g\n", in[i], out[i]);
      return 1;
    }
  }
  printf("consumer: relu of 37 floats through the installed library: ok\n");
  return 0;
}
