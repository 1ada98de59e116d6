// SPDX-License-Identifier: MIT
// xor_mask against the plain byte-by-byte rule on arbitrary bytes.
//
// The input is a script: byte 0 gives the key length (0 ... 8, so the
// envelope's 6 and its neighbours all occur), the next bytes are the key and
// the rest is the buffer, copied to a block of exactly its size so that
// AddressSanitizer sees any access past it.
// Properties: byte j is XOR-ed with key[j mod key length]; a key length of 0
// leaves the buffer unchanged; the result is 0.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "envelope.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  size_t key_len = data[0] % 9;
  if (size < 1 + key_len)
    return 0;
  char *key = static_cast<char *>(malloc(key_len + 1));
  memcpy(key, data + 1, key_len);
  key[key_len] = '\0';
  const unsigned char *original = data + 1 + key_len;
  size_t len = size - 1 - key_len;
  unsigned char *buf = static_cast<unsigned char *>(malloc(len));
  memcpy(buf, original, len);

  fuzz_require(xor_mask(buf, len, key, key_len) == 0, "xor_mask returns 0");
  for (size_t j = 0; j < len; j++) {
    unsigned char want =
        key_len == 0
            ? original[j]
            : original[j] ^ static_cast<unsigned char>(key[j % key_len]);
    fuzz_require(buf[j] == want, "byte j is masked with key[j mod key length]");
  }
  free(buf);
  free(key);
  return 0;
}
