// SPDX-License-Identifier: MIT
// A failing allocator, preloaded into the unchanged obscure to test running
// out of memory. It counts only the program's own allocations: those called
// from the program's executable segment. Allocations the C library makes for
// itself (the buffer stdio takes for standard output on its first write, for
// one) pass straight through and are neither counted nor failed, so the Nth
// allocation is the same one on every machine and run. A request of zero
// bytes from the program always returns NULL, as C libraries may, so that
// the program is seen never to rely on malloc(0) giving a pointer. The
// program's blocks are handed out with newlines in the bytes just before
// them, so that code which looks before the start of a buffer for a line
// end to trim finds one there, and goes wrong where the test can see it.
//
// Environment:
//   OOM_FAIL_AT  N: the program's Nth allocation (counting from 1) returns
//                NULL; unset or 0: none fails
//   OOM_REPORT   file written at exit: "allocations A live L", where A is
//                the number of the program's allocations (failed one
//                included) and L the number of those never freed
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

typedef void *(*MallocFn)(size_t);
typedef void *(*CallocFn)(size_t, size_t);
typedef void *(*ReallocFn)(void *, size_t);
typedef void (*FreeFn)(void *);

MallocFn real_malloc;
CallocFn real_calloc;
ReallocFn real_realloc;
FreeFn real_free;

// dlsym may allocate while the real functions are being looked up; those
// requests are served from here and never freed.
alignas(16) unsigned char bootstrap[4096];
size_t bootstrap_used;
bool resolving;

// The main program's executable segment, known once the library's
// constructor has run; until then nothing counts as the program's.
uintptr_t program_start, program_end;

unsigned long allocations, fail_at;
const size_t MAX_LIVE = 256;
void *live[MAX_LIVE];
size_t live_count;

// Bytes in front of each of the program's blocks, a multiple of 16 so that
// the blocks keep the C library's alignment.
const size_t GUARD = 16;

void *from_bootstrap(size_t n) {
  n = (n + 15) & ~static_cast<size_t>(15);
  if (n > sizeof bootstrap - bootstrap_used)
    return NULL;
  void *p = bootstrap + bootstrap_used;
  bootstrap_used += n;
  return p;
}

bool in_bootstrap(const void *p) {
  return p >= bootstrap && p < bootstrap + sizeof bootstrap;
}

void resolve() {
  if (real_malloc != NULL || resolving)
    return;
  resolving = true;
  real_calloc = reinterpret_cast<CallocFn>(dlsym(RTLD_NEXT, "calloc"));
  real_realloc = reinterpret_cast<ReallocFn>(dlsym(RTLD_NEXT, "realloc"));
  real_free = reinterpret_cast<FreeFn>(dlsym(RTLD_NEXT, "free"));
  real_malloc = reinterpret_cast<MallocFn>(dlsym(RTLD_NEXT, "malloc"));
  resolving = false;
}

bool from_program(const void *caller) {
  uintptr_t at = reinterpret_cast<uintptr_t>(caller);
  return at >= program_start && at < program_end;
}

// Counts one of the program's allocations; false when this one must fail.
bool admit() { return ++allocations != fail_at; }

// track: hands out the program's block GUARD bytes into `block`, the bytes
// in front of it newlines, and counts it live. Only live blocks are known
// to have a guard, so more than MAX_LIVE of them end the run.
void *track(void *block) {
  if (block == NULL)
    return NULL;
  if (live_count == MAX_LIVE)
    abort();
  memset(block, '\n', GUARD);
  return live[live_count++] = static_cast<unsigned char *>(block) + GUARD;
}

// The index of p among the live blocks, or live_count when it is none.
size_t find_live(const void *p) {
  size_t i = 0;
  while (i < live_count && live[i] != p)
    i++;
  return i;
}

// untrack: the block `p` was handed out in, and p no longer live; or p
// itself when it is none of the program's.
void *untrack(void *p) {
  size_t i = find_live(p);
  if (i == live_count)
    return p;
  live[i] = live[--live_count];
  return static_cast<unsigned char *>(p) - GUARD;
}

int find_program(struct dl_phdr_info *info, size_t, void *) {
  // The first object reported is the main program.
  for (int i = 0; i < info->dlpi_phnum; i++) {
    const ElfW(Phdr) &ph = info->dlpi_phdr[i];
    if (ph.p_type == PT_LOAD && (ph.p_flags & PF_X) != 0) {
      program_start = info->dlpi_addr + ph.p_vaddr;
      program_end = program_start + ph.p_memsz;
    }
  }
  return 1;
}

__attribute__((constructor)) void start() {
  resolve();
  const char *at = getenv("OOM_FAIL_AT");
  fail_at = at != NULL ? strtoul(at, NULL, 10) : 0;
  dl_iterate_phdr(find_program, NULL);
}

__attribute__((destructor)) void report() {
  const char *path = getenv("OOM_REPORT");
  if (path == NULL)
    return;
  char line[80];
  int n = snprintf(line, sizeof line, "allocations %lu live %lu\n", allocations,
                   static_cast<unsigned long>(live_count));
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) {
    if (write(fd, line, n) != n)
      unlink(path);
    close(fd);
  }
}

} // namespace

extern "C" {

void *malloc(size_t n) {
  resolve();
  if (real_malloc == NULL)
    return from_bootstrap(n);
  if (!from_program(__builtin_return_address(0)))
    return real_malloc(n);
  return admit() && n != 0 ? track(real_malloc(GUARD + n)) : NULL;
}

void *calloc(size_t count, size_t n) {
  resolve();
  if (real_calloc == NULL) {
    // Bootstrap memory is static, hence already zero.
    return count != 0 && n > SIZE_MAX / count ? NULL
                                              : from_bootstrap(count * n);
  }
  if (!from_program(__builtin_return_address(0)))
    return real_calloc(count, n);
  if (!admit() || count == 0 || n == 0 || n > (SIZE_MAX - GUARD) / count)
    return NULL;
  return track(real_calloc(1, GUARD + count * n));
}

void *realloc(void *p, size_t n) {
  resolve();
  if (in_bootstrap(p) || real_realloc == NULL)
    return NULL; // nothing resizes bootstrap memory in practice
  if (!from_program(__builtin_return_address(0)))
    return real_realloc(p, n);
  if (!admit())
    return NULL;
  if (p != NULL && find_live(p) == live_count)
    return real_realloc(p, n);
  void *block = p != NULL ? static_cast<unsigned char *>(p) - GUARD : NULL;
  void *q = real_realloc(block, GUARD + n);
  if (q != NULL && p != NULL)
    untrack(p);
  return track(q);
}

void free(void *p) {
  if (p == NULL || in_bootstrap(p))
    return;
  resolve();
  real_free(untrack(p));
}

} // extern "C"
