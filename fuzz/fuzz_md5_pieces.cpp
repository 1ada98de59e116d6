// SPDX-License-Identifier: MIT
// MD5 fed in pieces against MD5 fed in one piece.
//
// The input is a script: byte 0 gives up to 15 piece lengths, the next bytes
// are those lengths (0 ... 255 each, so pieces cross the 64-byte blocks in
// every way), and the rest is the message; whatever the pieces leave over
// goes in one last update.
// Properties: both digests are equal, md5_hex spells the same digest, and
// MD5Final leaves the context all zero.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "fuzz_support.h"
#include "md5.h"

namespace {

// wiped: whether every byte of the context is zero.
bool wiped(const MD5_CTX *context) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(context);
  for (size_t i = 0; i < sizeof *context; i++) {
    if (p[i] != 0)
      return false;
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  size_t pieces = data[0] % 16;
  if (size < 1 + pieces)
    return 0;
  const uint8_t *lengths = data + 1;
  const unsigned char *message = data + 1 + pieces;
  size_t message_size = size - 1 - pieces;

  unsigned char whole[16];
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, message, message_size);
  MD5Final(whole, &context);
  fuzz_require(wiped(&context), "MD5Final wipes the context");

  unsigned char pieced[16];
  MD5Init(&context);
  size_t at = 0;
  for (size_t i = 0; i < pieces; i++) {
    size_t n = lengths[i] < message_size - at ? lengths[i] : message_size - at;
    MD5Update(&context, message + at, n);
    at += n;
  }
  MD5Update(&context, message + at, message_size - at);
  MD5Final(pieced, &context);
  fuzz_require(memcmp(whole, pieced, sizeof whole) == 0,
               "MD5 in pieces equals MD5 in one piece");

  char hex[33], expected[33];
  fuzz_require(md5_hex(message, message_size, hex) == 0, "md5_hex returns 0");
  for (int i = 0; i < 16; i++)
    snprintf(expected + 2 * i, 3, "%02x", whole[i]);
  fuzz_require(memcmp(hex, expected, sizeof hex) == 0,
               "md5_hex spells the digest");
  return 0;
}
