// SPDX-License-Identifier: MIT
// parse_set_request on arbitrary text, as `dorvane set` would hand it over.
//
// Properties: nothing is written outside the 172-byte table (it is allocated
// at exactly that size, so AddressSanitizer sees any byte past it); an
// accepted request yields 0..8 entries with `count` equal to the result,
// every name zero-terminated inside its 20 bytes and every byte after it and
// every unused entry zero; a refused request leaves the table untouched and
// says why.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_support.h"
#include "set_request.h"

namespace {

const unsigned char UNTOUCHED = 0xA5; // the table's bytes before the call

// all_bytes: whether each of the n bytes at `at` is `value`.
bool all_bytes(const void *at, size_t n, unsigned char value) {
  const unsigned char *p = static_cast<const unsigned char *>(at);
  for (size_t i = 0; i < n; i++) {
    if (p[i] != value)
      return false;
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // A command-line argument is zero-terminated; a zero byte inside the data
  // just ends the text early.
  char *json = static_cast<char *>(malloc(size + 1));
  memcpy(json, data, size);
  json[size] = '\0';
  FlagTable *table = static_cast<FlagTable *>(malloc(sizeof(FlagTable)));
  memset(table, UNTOUCHED, sizeof *table);
  SetRefusal refusal = {-1, -1, NULL};

  int result = parse_set_request(json, table, &refusal);

  if (result >= 0) {
    fuzz_require(result <= FLAG_TABLE_MAX_ENTRIES, "at most 8 entries");
    const int32_t count = table->count;
    fuzz_require(count == result, "count is the number of entries");
    for (int i = 0; i < FLAG_TABLE_MAX_ENTRIES; i++) {
      const FlagEntry *entry = &table->entries[i];
      if (i >= result) {
        fuzz_require(all_bytes(entry, sizeof *entry, 0),
                     "unused entries are zero");
        continue;
      }
      const void *end = memchr(entry->devname, '\0', FLAG_DEVNAME_LEN);
      fuzz_require(end != NULL, "a name is zero-terminated in its 20 bytes");
      size_t used = static_cast<const char *>(end) - entry->devname;
      fuzz_require(all_bytes(entry->devname + used, FLAG_DEVNAME_LEN - used, 0),
                   "a name is zero-filled after its end");
    }
  } else {
    fuzz_require(all_bytes(table, sizeof *table, UNTOUCHED),
                 "a refused request leaves the table untouched");
    switch (result) {
    case SET_BAD_JSON:
      break;
    case SET_TOO_MANY:
      fuzz_require(refusal.elements > FLAG_TABLE_MAX_ENTRIES,
                   "too many means more than 8");
      break;
    case SET_BAD_ENTRY:
      fuzz_require(refusal.index >= 0 &&
                       refusal.index < FLAG_TABLE_MAX_ENTRIES &&
                       refusal.reason != NULL,
                   "a bad entry is named, with a reason");
      break;
    default:
      fuzz_require(false, "a refusal is one of the three known results");
    }
  }
  free(table);
  free(json);
  return 0;
}
