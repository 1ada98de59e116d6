// SPDX-License-Identifier: MIT
// A stand-in for the flag driver, for machines that have none. Preloaded into
// the unchanged dorvane, it answers open/ioctl/close on the control node:
// request 1 stores the 172-byte table, request 2 copies it back, anything
// else is refused with ENOTTY, as the driver does.
//
// Environment:
//   FLAGDRV_TABLE  file that holds the driver's table; without it the
//                  stand-in stays out of the way and calls go to the system
//   FLAGDRV_NODE   path answered for (default /dev/flagctl)
//   FLAGDRV_LOG    file to which each call on the node is appended as a line:
//                  "open MODE" (O_RDONLY, O_WRONLY or O_RDWR, the access
//                  mode asked for), "request N", "close"
//   FLAGDRV_FAIL   the steps that fail, separated by commas: "open": the
//                  node is missing (ENOENT); "request": every request fails
//                  with EIO; "close": close fails with EIO
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

const size_t TABLE_SIZE = 172;

// The descriptor handed out for the node: a real one on /dev/null, so that
// nothing else in the process can be given the same number.
int node_fd = -1;

template <typename F> F next_symbol(const char *name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// True when `what` is one of the comma-separated words of FLAGDRV_FAIL.
bool failing(const char *what) {
  const char *fail = getenv("FLAGDRV_FAIL");
  size_t len = strlen(what);
  while (fail != NULL && *fail != '\0') {
    size_t word = strcspn(fail, ",");
    if (word == len && strncmp(fail, what, len) == 0)
      return true;
    fail += word;
    if (*fail == ',')
      fail++;
  }
  return false;
}

// Appends "WHAT" or, for a request, "WHAT N" to the call log.
void log_call(const char *what, long request = -1) {
  const char *path = getenv("FLAGDRV_LOG");
  if (path == NULL)
    return;
  FILE *log = fopen(path, "a");
  if (log == NULL)
    return;
  if (request < 0)
    fprintf(log, "%s\n", what);
  else
    fprintf(log, "%s %ld\n", what, request);
  fclose(log);
}

bool is_node(const char *path) {
  if (getenv("FLAGDRV_TABLE") == NULL)
    return false;
  const char *node = getenv("FLAGDRV_NODE");
  return strcmp(path, node != NULL ? node : "/dev/flagctl") == 0;
}

// Opens the node on behalf of open() or open64(); -2 means "not the node".
// The access mode is logged: a real node may allow only some of them.
int open_node(const char *path, int flags,
              int (*real_open)(const char *, int, ...)) {
  if (!is_node(path))
    return -2;
  int mode = flags & O_ACCMODE;
  log_call(mode == O_RDWR     ? "open O_RDWR"
           : mode == O_WRONLY ? "open O_WRONLY"
           : mode == O_RDONLY ? "open O_RDONLY"
                              : "open (bad mode)");
  if (failing("open")) {
    errno = ENOENT;
    return -1;
  }
  int fd = real_open("/dev/null", O_RDWR);
  if (fd >= 0)
    node_fd = fd;
  return fd;
}

int store_table(const void *table) {
  FILE *file = fopen(getenv("FLAGDRV_TABLE"), "wb");
  if (file == NULL)
    return -1;
  size_t written = fwrite(table, 1, TABLE_SIZE, file);
  return fclose(file) == 0 && written == TABLE_SIZE ? 0 : -1;
}

// A driver that was never given a table reports an empty one.
int load_table(void *table) {
  memset(table, 0, TABLE_SIZE);
  FILE *file = fopen(getenv("FLAGDRV_TABLE"), "rb");
  if (file == NULL)
    return errno == ENOENT ? 0 : -1;
  size_t got = fread(table, 1, TABLE_SIZE, file);
  (void)got; // a short file leaves the rest zero, like a fresh driver
  fclose(file);
  return 0;
}

} // namespace

#ifdef O_TMPFILE
const int OPEN_TAKES_MODE = O_CREAT | O_TMPFILE;
#else
const int OPEN_TAKES_MODE = O_CREAT;
#endif

extern "C" {

int open(const char *path, int flags, ...) {
  static int (*real_open)(const char *, int, ...);
  if (real_open == NULL)
    real_open = next_symbol<int (*)(const char *, int, ...)>("open");
  int fd = open_node(path, flags, real_open);
  if (fd != -2)
    return fd;
  // The mode argument is there only when the call may create a file.
  int mode = 0;
  if (flags & OPEN_TAKES_MODE) {
    va_list ap;
    va_start(ap, flags);
    // clang's analyzer loses the va_start above in a function named open.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    mode = va_arg(ap, int);
    va_end(ap);
  }
  return real_open(path, flags, mode);
}

// Where open64 is a macro for open (musl), open above answers both.
#ifndef open64
int open64(const char *path, int flags, ...) {
  static int (*real_open64)(const char *, int, ...);
  if (real_open64 == NULL)
    real_open64 = next_symbol<int (*)(const char *, int, ...)>("open64");
  int fd = open_node(path, flags, real_open64);
  if (fd != -2)
    return fd;
  // The mode argument is there only when the call may create a file.
  int mode = 0;
  if (flags & OPEN_TAKES_MODE) {
    va_list ap;
    va_start(ap, flags);
    // clang's analyzer loses the va_start above in a function named open.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    mode = va_arg(ap, int);
    va_end(ap);
  }
  return real_open64(path, flags, mode);
}
#endif

int ioctl(int fd, unsigned long request, ...) {
  va_list ap;
  va_start(ap, request);
  void *arg = va_arg(ap, void *);
  va_end(ap);
  if (fd < 0 || fd != node_fd) {
    static int (*real_ioctl)(int, unsigned long, ...);
    if (real_ioctl == NULL)
      real_ioctl = next_symbol<int (*)(int, unsigned long, ...)>("ioctl");
    return real_ioctl(fd, request, arg);
  }
  log_call("request", (long)request);
  if (failing("request")) {
    errno = EIO;
    return -1;
  }
  int result;
  if (request == 1)
    result = store_table(arg);
  else if (request == 2)
    result = load_table(arg);
  else {
    errno = ENOTTY;
    return -1;
  }
  if (result < 0)
    errno = EIO;
  return result;
}

int close(int fd) {
  static int (*real_close)(int);
  if (real_close == NULL)
    real_close = next_symbol<int (*)(int)>("close");
  if (fd < 0 || fd != node_fd)
    return real_close(fd);
  node_fd = -1;
  log_call("close");
  real_close(fd);
  if (failing("close")) {
    errno = EIO;
    return -1;
  }
  return 0;
}

} // extern "C"
