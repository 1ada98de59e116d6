// SPDX-License-Identifier: MIT
// base64_encode_masked against its definition: mask a copy byte by byte,
// then base64_encode it.
//
// Input: six mask bytes, then the bytes to encode. Properties: both
// encodings are base64_encoded_size characters (the buffers are allocated at
// exactly that size) and equal, and the source is left as it was.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "base64.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 6)
    return 0;
  const unsigned char *mask = data;
  const unsigned char *src = data + 6;
  size_t n = size - 6;

  unsigned char *masked = static_cast<unsigned char *>(malloc(n + 1));
  for (size_t j = 0; j < n; j++)
    masked[j] = src[j] ^ mask[j % 6];
  size_t encoded_size = base64_encoded_size(n);
  char *expected = static_cast<char *>(malloc(encoded_size + 1));
  char *got = static_cast<char *>(malloc(encoded_size + 1));
  int e = base64_encode(masked, n, expected);
  int g = base64_encode_masked(src, n, mask, got);
  fuzz_require(e >= 0 && static_cast<size_t>(e) == encoded_size && g == e,
               "both encodings are base64_encoded_size long");
  fuzz_require(memcmp(expected, got, encoded_size) == 0,
               "masked encoding equals encoding the masked bytes");
  free(got);
  free(expected);
  free(masked);
  return 0;
}
