// SPDX-License-Identifier: MIT
// Helpers shared by the scrambler's unit tests: reproducible test bytes, the
// machine's own tools as a second opinion, and the standard output of code
// that prints.
#ifndef TESTS_SCRAMBLER_TEST_SUPPORT_H
#define TESTS_SCRAMBLER_TEST_SUPPORT_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

// Bytes from a fixed-seed generator, so that every run sees the same inputs.
// With no_zero the bytes are 1..255, as in a command-line text.
inline std::string test_bytes(size_t n, uint32_t seed, bool no_zero = false) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; i++) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(no_zero ? x % 255 + 1 : x & 0xFF);
  }
  return s;
}

// Runs the shell command `command` with input as its standard input and puts
// its standard output in *out. False when it cannot be run or
// fails, so a caller can skip rather than fail on a machine without the tool.
inline bool tool_output(const char *command, const std::string &input,
                        std::string *out) {
  char path[] = "/tmp/scrambler-test.XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0)
    return false;
  bool ok = write(fd, input.data(), input.size()) ==
            static_cast<ssize_t>(input.size());
  close(fd);
  std::string line = std::string(command) + " < " + path;
  FILE *pipe = ok ? popen(line.c_str(), "r") : NULL;
  out->clear();
  if (pipe != NULL) {
    char buf[4096];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, pipe)) > 0)
      out->append(buf, got);
    ok = pclose(pipe) == 0;
  } else {
    ok = false;
  }
  unlink(path);
  return ok;
}

// Calls fn(text) with standard output sent to a temporary file; returns what
// it printed and puts its result in *result.
inline std::string printed_by(int (*fn)(const char *), const char *text,
                              int *result) {
  fflush(stdout);
  int saved = dup(1);
  FILE *capture = tmpfile();
  dup2(fileno(capture), 1);
  *result = fn(text);
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  std::string printed;
  rewind(capture);
  char buf[4096];
  size_t got;
  while ((got = fread(buf, 1, sizeof buf, capture)) > 0)
    printed.append(buf, got);
  fclose(capture);
  return printed;
}

#endif
