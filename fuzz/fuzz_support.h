// SPDX-License-Identifier: MIT
// Helpers shared by the fuzz targets: a property check that stops the run,
// and a capture of standard output for the functions that print their
// result instead of returning it.
#ifndef FUZZ_FUZZ_SUPPORT_H
#define FUZZ_FUZZ_SUPPORT_H

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

// The RFC 4648 base64 alphabet, spelt out here so the checks do not borrow
// the codec's own table.
const char BASE64_ALPHABET[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// fuzz_require: does nothing when `holds`; otherwise names the broken
// property and aborts, which libFuzzer reports as a crash and keeps the input.
inline void fuzz_require(bool holds, const char *property) {
  if (holds)
    return;
  fprintf(stderr, "property broken: %s\n", property);
  abort();
}

// capture_begin: points standard output at an emptied temporary file (made
// on first use), so what the code under test prints next can be read back.
// libFuzzer reports on standard error, so nothing of its own is lost.
inline void capture_begin() {
  static bool redirected = false;
  fflush(stdout);
  if (!redirected) {
    FILE *file = tmpfile();
    fuzz_require(file != NULL && dup2(fileno(file), STDOUT_FILENO) >= 0,
                 "standard output can be captured");
    redirected = true;
  }
  fuzz_require(ftruncate(STDOUT_FILENO, 0) == 0 &&
                   fseek(stdout, 0, SEEK_SET) == 0,
               "the capture file can be emptied");
}

// capture_end: everything printed since capture_begin.
inline std::string capture_end() {
  fuzz_require(fflush(stdout) == 0, "captured output is written");
  off_t size = lseek(STDOUT_FILENO, 0, SEEK_CUR);
  fuzz_require(size >= 0, "the capture file has a size");
  std::string text(static_cast<size_t>(size), '\0');
  fuzz_require(pread(STDOUT_FILENO, &text[0], text.size(), 0) == size,
               "the capture file can be read back");
  return text;
}

// command_line_text: the input as a text a command line can carry, which
// ends at its first zero byte: the input with its zero bytes left out.
inline std::string command_line_text(const uint8_t *data, size_t size) {
  std::string text;
  for (size_t i = 0; i < size; i++) {
    if (data[i] != 0)
      text += static_cast<char>(data[i]);
  }
  return text;
}

#endif
