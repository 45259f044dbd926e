// vorta_abort and the guard that brings control back to the host.
//
// A guarded call records a jmp_buf for its thread and then calls into kernel
// code. vorta_abort stores the exception type and message for the thread and
// longjmps to the guard, skipping the kernel frames (which hold nothing to
// destroy); the guard then returns to host code, which throws KernelAbort.
// No C++ exception ever crosses a kernel frame.
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host/host.h"

namespace vorta::host {
namespace {

// The innermost active guard of this thread, or null.
thread_local jmp_buf* t_guard = nullptr;

// The abort being delivered to the guard. Fixed-size buffers: the abort
// service must not allocate while a kernel frame is about to be abandoned.
constexpr size_t kTextMax = 1024;
struct PendingAbort {
  char type[kTextMax];
  char message[kTextMax];
};
thread_local PendingAbort t_pending;

void CopyText(char* dst, const char* src) {
  if (!src) src = "";
  size_t n = strnlen(src, kTextMax - 1);
  memcpy(dst, src, n);
  dst[n] = 0;
}

}  // namespace

KernelAbort::KernelAbort(std::string t, std::string m)
    : type(std::move(t)), message(std::move(m)), text(type + ": " + message) {}

namespace detail {

// Kept out of line so that setjmp lives in a frame of its own: between setjmp
// and the call of fn this frame holds only trivially destructible values.
__attribute__((noinline)) bool RunGuarded(void (*fn)(void*), void* ctx) {
  jmp_buf buf;
  jmp_buf* const outer = t_guard;
  if (setjmp(buf) != 0) {
    t_guard = outer;
    return true;
  }
  t_guard = &buf;
  try {
    fn(ctx);
  } catch (...) {
    t_guard = outer;
    throw;
  }
  t_guard = outer;
  return false;
}

KernelAbort PendingAbort() { return KernelAbort(t_pending.type, t_pending.message); }

void ThrowPendingAbort() { throw PendingAbort(); }

}  // namespace detail

namespace service {

VORTA_MSABI void Abort(const char* exceptionType, const char* message) {
  jmp_buf* guard = t_guard;
  if (!guard) {
    fprintf(stderr, "vorta host: %s: %s (vorta_abort outside a guarded kernel call)\n",
            exceptionType ? exceptionType : "(null)", message ? message : "(null)");
    fflush(stderr);
    abort();
  }
  CopyText(t_pending.type, exceptionType);
  CopyText(t_pending.message, message);
  longjmp(*guard, 1);
}

}  // namespace service
}  // namespace vorta::host
