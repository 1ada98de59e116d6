// SPDX-License-Identifier: MIT
// envelope_decode on arbitrary bytes, as `obscure -d` would hand them over
// (a zero byte ends the argument early).
//
// Properties: a text decoding to fewer than six bytes is refused with
// ENVELOPE_TOO_SHORT and prints nothing; anything else prints one line, no
// longer than the two lenient base64 layers allow and holding no zero byte.
// Memory is never short here, so no other result is allowed.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base64.h"
#include "envelope.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  char *text = static_cast<char *>(malloc(size + 1));
  memcpy(text, data, size);
  text[size] = '\0';
  size_t length = strlen(text);

  capture_begin();
  int result = envelope_decode(text);
  std::string out = capture_end();

  if (result == ENVELOPE_TOO_SHORT) {
    fuzz_require(out.empty(), "a refused envelope prints nothing");
  } else {
    fuzz_require(result == 0, "decoding succeeds or the envelope is too short");
    size_t raw = base64_decoded_size(length);
    fuzz_require(raw >= ENVELOPE_KEY_LEN,
                 "only a long enough envelope decodes");
    size_t longest = base64_decoded_size(raw - ENVELOPE_KEY_LEN);
    fuzz_require(!out.empty() && out.back() == '\n' &&
                     out.size() - 1 <= longest,
                 "one line, within the decoded sizes");
    fuzz_require(out.find('\0') == std::string::npos,
                 "the text stops at its first zero byte");
  }
  free(text);
  return 0;
}
