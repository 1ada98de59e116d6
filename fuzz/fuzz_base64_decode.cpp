// SPDX-License-Identifier: MIT
// base64_decode on arbitrary bytes.
//
// Properties: it never writes more than base64_decoded_size of its input
// length (the destination is allocated at exactly that size, so
// AddressSanitizer sees any byte past it); and it is lenient in the way its
// contract says: the result is what the alphabet characters before the first
// '=' decode to on their own, every other byte skipped.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "base64.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *src = reinterpret_cast<const char *>(data);
  size_t bound = base64_decoded_size(size);
  unsigned char *out = static_cast<unsigned char *>(malloc(bound));
  int n = base64_decode(src, size, out);
  fuzz_require(n >= 0 && static_cast<size_t>(n) <= bound,
               "the result is within base64_decoded_size");

  // The same text with everything but alphabet characters taken out, and
  // nothing from the first '=' on.
  char *plain = static_cast<char *>(malloc(size + 1));
  size_t kept = 0;
  for (size_t i = 0; i < size && src[i] != '='; i++) {
    if (src[i] != '\0' && strchr(BASE64_ALPHABET, src[i]) != NULL)
      plain[kept++] = src[i];
  }
  // Each full group of four gives three bytes, a trailing group of two or
  // three gives one or two, a lone character nothing.
  const size_t tail[4] = {0, 0, 1, 2};
  fuzz_require(static_cast<size_t>(n) == kept / 4 * 3 + tail[kept % 4],
               "every four alphabet characters give three bytes");
  unsigned char *again =
      static_cast<unsigned char *>(malloc(base64_decoded_size(kept)));
  int m = base64_decode(plain, kept, again);
  fuzz_require(m == n && memcmp(out, again, n) == 0,
               "skipped bytes change nothing");
  free(again);
  free(plain);
  free(out);
  return 0;
}
