// SPDX-License-Identifier: MIT
// flag_table_list on an arbitrary driver reply: the first 172 bytes of the
// input (zero-filled if shorter) as the table the driver handed back.
//
// Properties: nothing is read outside the record (it is allocated at exactly
// 172 bytes, so AddressSanitizer sees any byte past it); a count below 0 or
// above 8 is refused with -1 and prints nothing; otherwise one line is printed
// for each named entry below the count, at most 8, each no longer than the
// longest a 20-byte name allows, so no byte past a name's 20 bytes reaches the
// output.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "flag_table.h"
#include "fuzz_support.h"

namespace {

// "dev[7]:" + a 20-byte name + " flag:255\n".
const size_t LONGEST_LINE = 7 + FLAG_DEVNAME_LEN + 10;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FlagTable *table = static_cast<FlagTable *>(malloc(sizeof(FlagTable)));
  memset(table, 0, sizeof *table);
  memcpy(table, data, size < sizeof *table ? size : sizeof *table);
  const int32_t count = table->count;

  capture_begin();
  int lines = flag_table_list(table, stdout);
  std::string out = capture_end();

  if (count < 0 || count > FLAG_TABLE_MAX_ENTRIES) {
    fuzz_require(lines == -1, "a count below 0 or above 8 is refused");
    fuzz_require(out.empty(), "a refused reply prints nothing");
  } else {
    int named = 0;
    for (int32_t i = 0; i < count; i++)
      named += table->entries[i].devname[0] != '\0';
    fuzz_require(lines == named, "one line per named entry below count");
    fuzz_require(lines <= FLAG_TABLE_MAX_ENTRIES, "at most 8 lines");
    fuzz_require(out.size() <= static_cast<size_t>(lines) * LONGEST_LINE,
                 "no line is longer than a 20-byte name allows");
    fuzz_require(lines == 0 || out.back() == '\n', "the listing ends a line");
  }
  free(table);
  return 0;
}
