// SPDX-License-Identifier: MIT
// envelope_encode then envelope_decode on a text without zero bytes (the
// input with its zero bytes left out, as a command-line argument has none).
//
// Properties: the envelope is one line of base64 characters whose length is
// the result and base64_encoded_size(base64_encoded_size(n) + 6); decoding
// that line prints the text back.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "base64.h"
#include "envelope.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text = command_line_text(data, size);

  capture_begin();
  int length = envelope_encode(text.c_str());
  std::string envelope = capture_end();
  size_t expected =
      base64_encoded_size(base64_encoded_size(text.size()) + ENVELOPE_KEY_LEN);
  fuzz_require(length >= 0 && static_cast<size_t>(length) == expected,
               "the envelope has its computed length");
  fuzz_require(envelope.size() == expected + 1 && envelope.back() == '\n',
               "the envelope is printed as one line");
  envelope.pop_back();
  size_t body = envelope.find_last_not_of('=') + 1;
  fuzz_require(envelope.size() - body <= 2 &&
                   envelope.find_first_not_of(BASE64_ALPHABET) >= body,
               "the envelope is base64 characters, '=' only as padding");

  capture_begin();
  int decoded = envelope_decode(envelope.c_str());
  std::string back = capture_end();
  fuzz_require(decoded == 0 && back == text + "\n",
               "decoding the envelope gives the text back");
  return 0;
}
