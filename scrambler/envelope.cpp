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

namespace {

// What a call works in besides its input and output: taken from the heap in
// one block with its buffers, rather than kept in locals, so that no buffer
// of the call lives on the stack.
struct Work {
  MD5_CTX md5;
  char digest_hex[33];
};

// The bytes after a Work record, where the call's buffers start.
inline unsigned char *after(Work *work) {
  return reinterpret_cast<unsigned char *>(work + 1);
}

} // namespace

int envelope_encode(const char *text) {
  size_t len = strlen(text);
  if (len > ENVELOPE_MAX_TEXT)
    return ENVELOPE_NO_MEMORY;
  // One block for the work record, the inner text, the envelope and its
  // newline, and the encoder's table where the inner text, the longest
  // input it encodes, is long enough to go through one.
  size_t n = base64_encoded_size(len);
  static_assert(ENVELOPE_KEY_LEN == 6, "the key is two whole base64 groups");
  size_t m = base64_encoded_size(ENVELOPE_KEY_LEN + n);
  size_t table = n >= BASE64_PAIRS_MIN ? sizeof(Base64Pairs) : 0;
  Work *work = static_cast<Work *>(malloc(sizeof(Work) + n + m + 1 + table));
  if (work == NULL)
    return ENVELOPE_NO_MEMORY;
  unsigned char *inner = after(work);
  char *out = reinterpret_cast<char *>(inner + n);
  Base64Pairs *pairs =
      table != 0 ? reinterpret_cast<Base64Pairs *>(out + m + 1) : NULL;
  base64_encode_into(reinterpret_cast<const unsigned char *>(text), len, NULL,
                     reinterpret_cast<char *>(inner), pairs);

  // The key is taken over the inner text before it is masked.
  md5_hex(&work->md5, inner, n, work->digest_hex);
  const unsigned char *key =
      reinterpret_cast<unsigned char *>(work->digest_hex);

  // The envelope encodes the key prefix followed by the masked inner text.
  // The prefix is two whole base64 groups, so the two parts are encoded one
  // after the other, and the inner text is masked on its way into the
  // encoder: no frame is assembled and nothing is masked in place.
  int k = base64_encode_into(key, ENVELOPE_KEY_LEN, NULL, out, NULL);
  base64_encode_into(inner, n, key, out + k, pairs);
  // The length is known, so the line is written as it is, not measured again.
  out[m] = '\n';
  fwrite(out, 1, m + 1, stdout);
  free(work);
  return static_cast<int>(m);
}

int envelope_decode(const char *text) { return envelope_unpack(text, false); }

int envelope_unpack(const char *text, bool check) {
  size_t len = strlen(text);
  if (len > ENVELOPE_MAX_TEXT)
    return ENVELOPE_NO_MEMORY;
  // One block for the work record, the decoded envelope and the text (at
  // most what the decoded envelope holds decodes to) with its terminating
  // zero.
  size_t raw_size = base64_decoded_size(len);
  Work *work = static_cast<Work *>(
      malloc(sizeof(Work) + raw_size + base64_decoded_size(raw_size) + 1));
  if (work == NULL)
    return ENVELOPE_NO_MEMORY;
  unsigned char *raw = after(work);
  size_t r = static_cast<size_t>(base64_decode(text, len, raw));
  if (r < ENVELOPE_KEY_LEN) {
    free(work);
    return ENVELOPE_TOO_SHORT;
  }

  // Any six bytes are accepted as the key; a zero byte among them ends it
  // early, as it would end the key text.
  size_t key_len = 0;
  while (key_len < ENVELOPE_KEY_LEN && raw[key_len] != 0)
    key_len++;
  unsigned char *masked = raw + ENVELOPE_KEY_LEN;
  size_t n = r - ENVELOPE_KEY_LEN;
  xor_mask(masked, n, reinterpret_cast<const char *>(raw), key_len);
  if (check) {
    // The inner text is unmasked now, as it was when it was hashed.
    md5_hex(&work->md5, masked, n, work->digest_hex);
    // Compared byte by byte: memcmp would do as well, but it is one more
    // import, and clang turns an equality test of it into bcmp, which is no
    // ISO C or POSIX function.
    unsigned char differ = 0;
    for (size_t k = 0; k < ENVELOPE_KEY_LEN; k++)
      differ |= static_cast<unsigned char>(work->digest_hex[k] ^ raw[k]);
    if (differ != 0) {
      free(work);
      return ENVELOPE_DAMAGED;
    }
  }

  unsigned char *out = raw + raw_size;
  int k = base64_decode(reinterpret_cast<const char *>(masked), n, out);
  out[k] = '\0';
  // The text ends at its first zero byte, if it has one.
  printf("%s\n", reinterpret_cast<char *>(out));
  free(work);
  return 0;
}
