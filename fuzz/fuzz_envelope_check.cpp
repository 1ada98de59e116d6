// SPDX-License-Identifier: MIT
// envelope_unpack with the check, on arbitrary bytes taken two ways: as an
// envelope, as `obscure -c` would hand it over (a zero byte ends the
// argument early), and as a text (its zero bytes left out) whose envelope
// is made and then checked.
//
// Properties: every envelope envelope_encode writes passes the check, has
// its text's digest as its key and gives its text back. On any envelope, a
// passing check prints exactly what envelope_decode prints and its key is
// the digest; a failing one prints nothing and is either ENVELOPE_DAMAGED,
// where envelope_decode still prints a line, or ENVELOPE_TOO_SHORT, as
// envelope_decode. Memory is never short here.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base64.h"
#include "envelope.h"
#include "fuzz_support.h"
#include "md5.h"

// Whether the six key bytes of `envelope` are the first six hex digits of
// the MD5 of its inner text, unmasked with the key up to its first zero
// byte: what the check stands for, worked out here step by step.
static bool key_is_digest(const std::string &envelope) {
  std::string raw(base64_decoded_size(envelope.size()), '\0');
  raw.resize(static_cast<size_t>(
      base64_decode(envelope.data(), envelope.size(),
                    reinterpret_cast<unsigned char *>(&raw[0]))));
  if (raw.size() < ENVELOPE_KEY_LEN)
    return false;
  std::string inner = raw.substr(ENVELOPE_KEY_LEN);
  size_t key_len = strnlen(raw.data(), ENVELOPE_KEY_LEN);
  for (size_t j = 0; key_len > 0 && j < inner.size(); j++)
    inner[j] = static_cast<char>(inner[j] ^ raw[j % key_len]);
  char digest[33];
  md5_hex(reinterpret_cast<const unsigned char *>(inner.data()), inner.size(),
          digest);
  return raw.compare(0, ENVELOPE_KEY_LEN, digest, ENVELOPE_KEY_LEN) == 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text = command_line_text(data, size);
  capture_begin();
  envelope_encode(text.c_str());
  std::string envelope = capture_end();
  envelope.pop_back();
  capture_begin();
  int checked = envelope_unpack(envelope.c_str(), true);
  std::string back = capture_end();
  fuzz_require(checked == 0 && back == text + "\n" && key_is_digest(envelope),
               "an envelope as written passes the check with its text");

  char *given = static_cast<char *>(malloc(size + 1));
  memcpy(given, data, size);
  given[size] = '\0';
  capture_begin();
  checked = envelope_unpack(given, true);
  std::string checked_out = capture_end();
  capture_begin();
  int decoded = envelope_decode(given);
  std::string decoded_out = capture_end();
  std::string given_text = given;
  free(given);

  if (checked == 0) {
    fuzz_require(decoded == 0 && checked_out == decoded_out,
                 "a passing check prints what the plain decode prints");
    fuzz_require(key_is_digest(given_text),
                 "a passing check's key is the digest of its inner text");
  } else {
    fuzz_require(checked_out.empty(), "a failing check prints nothing");
    fuzz_require(checked == ENVELOPE_DAMAGED
                     ? decoded == 0 && !decoded_out.empty()
                     : checked == ENVELOPE_TOO_SHORT &&
                           decoded == ENVELOPE_TOO_SHORT,
                 "a failing check is a damaged or a too-short envelope");
  }
  return 0;
}
