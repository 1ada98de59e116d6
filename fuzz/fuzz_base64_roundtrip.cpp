// SPDX-License-Identifier: MIT
// base64_encode then base64_decode on arbitrary bytes.
//
// Properties: the encoding is exactly base64_encoded_size characters (the
// buffer is allocated at that size), made of the alphabet with '=' only as
// padding at the end; decoding it gives the bytes back.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "base64.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  size_t encoded_size = base64_encoded_size(size);
  char *encoded = static_cast<char *>(malloc(encoded_size));
  int e = base64_encode(data, size, encoded);
  fuzz_require(e >= 0 && static_cast<size_t>(e) == encoded_size,
               "the encoding is base64_encoded_size long");
  size_t padding = size % 3 == 0 ? 0 : 3 - size % 3;
  for (size_t i = 0; i < encoded_size; i++) {
    bool pad = i >= encoded_size - padding;
    fuzz_require(pad ? encoded[i] == '='
                     : encoded[i] != '\0' &&
                           strchr(BASE64_ALPHABET, encoded[i]) != NULL,
                 "alphabet characters, then '=' padding only");
  }

  unsigned char *decoded =
      static_cast<unsigned char *>(malloc(base64_decoded_size(encoded_size)));
  int d = base64_decode(encoded, encoded_size, decoded);
  fuzz_require(d >= 0 && static_cast<size_t>(d) == size &&
                   memcmp(decoded, data, size) == 0,
               "decode(encode(x)) == x");
  free(decoded);
  free(encoded);
  return 0;
}
