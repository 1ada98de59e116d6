// SPDX-License-Identifier: MIT
// The envelope in both directions. See envelope.h for the contracts.
#include "envelope.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base64.h"
#include "md5.h"

int xor_mask(unsigned char *buf, size_t len, const char *key, size_t key_len) {
  if (key_len == 0)
    return 0;
  for (size_t j = 0, p = 0; j < len; j++) {
    buf[j] ^= static_cast<unsigned char>(key[p]);
    if (++p == key_len)
      p = 0;
  }
  return 0;
}

int envelope_encode(const char *text) {
  size_t len = strlen(text);
  if (len > ENVELOPE_MAX_TEXT)
    return ENVELOPE_NO_MEMORY;
  // One spare byte, so that the empty text still asks for a real buffer.
  size_t n = base64_encoded_size(len);
  unsigned char *inner = static_cast<unsigned char *>(malloc(n + 1));
  if (inner == NULL)
    return ENVELOPE_NO_MEMORY;
  base64_encode(reinterpret_cast<const unsigned char *>(text), len,
                reinterpret_cast<char *>(inner));

  // The key is taken over the inner text before it is masked.
  char digest_hex[33];
  md5_hex(inner, n, digest_hex);
  const unsigned char *key = reinterpret_cast<unsigned char *>(digest_hex);

  // The envelope encodes the key prefix followed by the masked inner text.
  // The prefix is two whole base64 groups, so the two parts are encoded one
  // after the other, and the inner text is masked on its way into the
  // encoder: no frame is assembled and nothing is masked in place.
  static_assert(ENVELOPE_KEY_LEN == 6, "the key is two whole base64 groups");
  size_t m = base64_encoded_size(ENVELOPE_KEY_LEN + n);
  char *out = static_cast<char *>(malloc(m + 1));
  if (out == NULL) {
    free(inner);
    return ENVELOPE_NO_MEMORY_OUT;
  }
  int k = base64_encode(key, ENVELOPE_KEY_LEN, out);
  base64_encode_masked(inner, n, key, out + k);
  // The length is known, so the line is written as it is, not measured again.
  out[m] = '\n';
  fwrite(out, 1, m + 1, stdout);
  free(out);
  free(inner);
  return static_cast<int>(m);
}

int envelope_decode(const char *text) { return envelope_unpack(text, false); }

int envelope_unpack(const char *text, bool check) {
  size_t len = strlen(text);
  if (len > ENVELOPE_MAX_TEXT)
    return ENVELOPE_NO_MEMORY;
  // One spare byte, so that an empty envelope still asks for a real buffer.
  unsigned char *raw =
      static_cast<unsigned char *>(malloc(base64_decoded_size(len) + 1));
  if (raw == NULL)
    return ENVELOPE_NO_MEMORY;
  size_t r = static_cast<size_t>(base64_decode(text, len, raw));
  if (r < ENVELOPE_KEY_LEN) {
    free(raw);
    return ENVELOPE_TOO_SHORT;
  }

  // Any six bytes are accepted as the key; a zero byte among them ends it
  // early, as it would end the key text.
  char key[ENVELOPE_KEY_LEN + 1] = {0};
  memcpy(key, raw, ENVELOPE_KEY_LEN);
  unsigned char *masked = raw + ENVELOPE_KEY_LEN;
  size_t n = r - ENVELOPE_KEY_LEN;
  xor_mask(masked, n, key, strlen(key));
  if (check) {
    // The inner text is unmasked now, as it was when it was hashed.
    char digest_hex[33];
    md5_hex(masked, n, digest_hex);
    // Compared byte by byte: memcmp would do as well, but it is one more
    // import, and clang turns an equality test of it into bcmp, which is no
    // ISO C or POSIX function.
    unsigned char differ = 0;
    for (size_t k = 0; k < ENVELOPE_KEY_LEN; k++)
      differ |= static_cast<unsigned char>(digest_hex[k] ^ raw[k]);
    if (differ != 0) {
      free(raw);
      return ENVELOPE_DAMAGED;
    }
  }

  unsigned char *out =
      static_cast<unsigned char *>(malloc(base64_decoded_size(n) + 1));
  if (out == NULL) {
    free(raw);
    return ENVELOPE_NO_MEMORY_OUT;
  }
  int k = base64_decode(reinterpret_cast<const char *>(masked), n, out);
  out[k] = '\0';
  // The text ends at its first zero byte, if it has one.
  printf("%s\n", reinterpret_cast<char *>(out));
  free(out);
  free(raw);
  return 0;
}
