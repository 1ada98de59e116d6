// The envelope in both directions. See envelope.h for the contracts.
#include "envelope.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "base64.h"
#include "md5.h"

int xor_mask(unsigned char *buf, size_t len, const char *key, size_t key_len) {
  if (key_len == 0)
    return 0;
  size_t j = 0;
  if (key_len == ENVELOPE_KEY_LEN) {
    // 24 bytes hold the 6-byte key exactly four times and are also three
    // 8-byte words, so the bulk is masked a word at a time and each 24-byte
    // stretch starts again at key position 0. Words are built from bytes in
    // memory order, which makes this independent of the host's byte order.
    unsigned char pattern[24];
    for (int i = 0; i < 24; i++)
      pattern[i] = static_cast<unsigned char>(key[i % ENVELOPE_KEY_LEN]);
    uint64_t words[3];
    memcpy(words, pattern, sizeof words);
    for (; len - j >= sizeof pattern; j += sizeof pattern) {
      for (int k = 0; k < 3; k++) {
        uint64_t v;
        memcpy(&v, buf + j + 8 * k, 8);
        v ^= words[k];
        memcpy(buf + j + 8 * k, &v, 8);
      }
    }
  }
  for (size_t p = 0; j < len; j++) {
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
  // The frame is the key prefix followed by the masked inner text. The inner
  // text is encoded straight into its place in the frame and masked there,
  // so it needs no buffer of its own.
  size_t n = base64_encoded_size(len);
  unsigned char *frame =
      static_cast<unsigned char *>(malloc(ENVELOPE_KEY_LEN + n));
  if (frame == NULL)
    return ENVELOPE_NO_MEMORY;
  unsigned char *inner = frame + ENVELOPE_KEY_LEN;
  base64_encode(reinterpret_cast<const unsigned char *>(text), len,
                reinterpret_cast<char *>(inner));

  // The key is taken over the inner text before it is masked.
  char digest_hex[33];
  md5_hex(inner, n, digest_hex);
  memcpy(frame, digest_hex, ENVELOPE_KEY_LEN);
  xor_mask(inner, n, digest_hex, ENVELOPE_KEY_LEN);

  size_t m = base64_encoded_size(ENVELOPE_KEY_LEN + n);
  char *out = static_cast<char *>(malloc(m + 1));
  if (out == NULL) {
    free(frame);
    return ENVELOPE_NO_MEMORY_OUT;
  }
  base64_encode(frame, ENVELOPE_KEY_LEN + n, out);
  out[m] = '\0';
  printf("%s\n", out);
  free(out);
  free(frame);
  return static_cast<int>(m);
}

int envelope_decode(const char *text) {
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
