// SPDX-License-Identifier: MIT
// envelope_unpack with the check, on arbitrary bytes taken two ways: as an
// envelope, as `obscure -c` would hand it over (a zero byte ends the
// argument early), and as a text (its zero bytes left out) whose envelope
// is made and then checked.
//
// Properties: every envelope envelope_encode writes passes the check and
// gives its text back. On any envelope, a passing check prints exactly what
// envelope_decode prints; a failing one prints nothing and is either
// ENVELOPE_DAMAGED, where envelope_decode still prints a line, or
// ENVELOPE_TOO_SHORT, as envelope_decode. Memory is never short here.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "envelope.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text = command_line_text(data, size);
  capture_begin();
  envelope_encode(text.c_str());
  std::string envelope = capture_end();
  envelope.pop_back();
  capture_begin();
  int checked = envelope_unpack(envelope.c_str(), true);
  std::string back = capture_end();
  fuzz_require(checked == 0 && back == text + "\n",
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
  free(given);

  if (checked == 0) {
    fuzz_require(decoded == 0 && checked_out == decoded_out,
                 "a passing check prints what the plain decode prints");
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
