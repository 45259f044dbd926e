// Generates the exported surface from kernels.def: the entry table, the
// forwarders (a tail jump through the kernel's slot, so register and stack
// arguments and the result pass through untouched) and the four initialisers
// of every kernel (tail jumps to their service list's resolver and statics
// step). Symbol names are quoted because most export names start with a digit.
#include "frame/kernel_table.h"

namespace vorta {

const char* const kKernelNames[kKernelCount] = {
#define VORTA_KERNEL(name, list, family, body) #name,
#include "frame/kernels.def"
#undef VORTA_KERNEL
};

}  // namespace vorta

#define VORTA_STATICS_R1 vorta_statics_empty
#define VORTA_STATICS_R2 vorta_statics_allocator
#define VORTA_STATICS_R3 vorta_statics_empty
#define VORTA_STATICS_R4 vorta_statics_empty
#define VORTA_STATICS_R5 vorta_statics_rotation
#define VORTA_STATICS_R6 vorta_statics_empty

#define VORTA_ASM_FUNCTION(sym, target)   \
  ".globl \"" sym "\"\n"                  \
  ".type \"" sym "\", @function\n"        \
  ".p2align 4\n"                          \
  "\"" sym "\":\n"                        \
  "  jmp " target "\n"                    \
  ".size \"" sym "\", . - \"" sym "\"\n"

// The slots: 309 pointers in module order, one local label each.
asm(".pushsection .bss.vorta_entry_table, \"aw\", @nobits\n"
    ".p2align 6\n"
    ".globl vorta_entry_table\n"
    ".hidden vorta_entry_table\n"
    ".type vorta_entry_table, @object\n"
    "vorta_entry_table:\n"
#define VORTA_KERNEL(name, list, family, body) "\"vorta.slot." #name "\": .zero 8\n"
#include "frame/kernels.def"
#undef VORTA_KERNEL
    ".size vorta_entry_table, . - vorta_entry_table\n"
    ".popsection\n");

// The forwarders, for built kernels only.
asm(".text\n"
#define VORTA_KERNEL(name, list, family, body) \
  VORTA_IF_BUILT(body)(VORTA_ASM_FUNCTION(#name, "*\"vorta.slot." #name "\"(%rip)"))
#include "frame/kernels.def"
#undef VORTA_KERNEL
);

// The initialisers; both variants of a kernel resolve the same list and run the
// same statics step.
asm(".text\n"
#define VORTA_KERNEL(name, list, family, body)                                                \
  VORTA_ASM_FUNCTION("vorta.initialize.externals." #name "_x64_sse2", "vorta_resolve_" #list) \
  VORTA_ASM_FUNCTION("vorta.initialize.externals." #name "_avx2", "vorta_resolve_" #list)     \
  VORTA_ASM_FUNCTION("vorta.initialize.statics." #name "_x64_sse2",                           \
                     VORTA_STR(VORTA_STATICS_##list))                                         \
  VORTA_ASM_FUNCTION("vorta.initialize.statics." #name "_avx2", VORTA_STR(VORTA_STATICS_##list))
#include "frame/kernels.def"
#undef VORTA_KERNEL
);

// Address tables for initialisation and tests, in module order.
asm(".pushsection .data.rel.ro.vorta_tables, \"aw\"\n"
    ".p2align 3\n"
    ".globl vorta_initialisers\n"
    ".hidden vorta_initialisers\n"
    ".type vorta_initialisers, @object\n"
    "vorta_initialisers:\n"
#define VORTA_KERNEL(name, list, family, body)                          \
  ".quad \"vorta.initialize.externals." #name "_x64_sse2\"\n"           \
  ".quad \"vorta.initialize.externals." #name "_avx2\"\n"               \
  ".quad \"vorta.initialize.statics." #name "_x64_sse2\"\n"             \
  ".quad \"vorta.initialize.statics." #name "_avx2\"\n"
#include "frame/kernels.def"
#undef VORTA_KERNEL
    ".size vorta_initialisers, . - vorta_initialisers\n"
    ".globl vorta_forwarders\n"
    ".hidden vorta_forwarders\n"
    ".type vorta_forwarders, @object\n"
    "vorta_forwarders:\n"
#define VORTA_KERNEL(name, list, family, body) \
  ".quad " VORTA_BUILT_OR(body, "\"" #name "\"", "0") "\n"
#include "frame/kernels.def"
#undef VORTA_KERNEL
    ".size vorta_forwarders, . - vorta_forwarders\n"
    ".popsection\n");
