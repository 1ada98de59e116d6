// SPDX-License-Identifier: MIT
#include "set_request.h"

#include <cjson/cJSON.h>
#include <string.h>

uint8_t flag_from_text(const char *text) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
  // The white space atoi skips in the C locale.
  while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
    p++;
  bool negative = false;
  if (*p == '+' || *p == '-')
    negative = *p++ == '-';
  // Unsigned arithmetic wraps, so only the low bits are kept and a long run
  // of digits cannot overflow.
  unsigned value = 0;
  for (; *p >= '0' && *p <= '9'; p++)
    value = value * 10u + (unsigned)(*p - '0');
  if (negative)
    value = 0u - value;
  return (uint8_t)value;
}

uint8_t flag_from_number(double value) {
  // From 2^60 up every double is a multiple of 256, so its low 8 bits are 0;
  // below that the integer part fits an int64_t. The comparison is false for
  // NaN too.
  const double limit = 1152921504606846976.0; // 2^60
  if (!(value < limit && value > -limit))
    return 0;
  return (uint8_t)(uint64_t)(int64_t)value;
}

// Checks one element and stores it as `entry`, or names what is wrong.
static const char *fill_entry(const cJSON *item, FlagEntry *entry) {
  if (!cJSON_IsObject(item))
    return "not an object";
  const cJSON *name = cJSON_GetObjectItem(item, "devname");
  if (!cJSON_IsString(name) || name->valuestring == NULL)
    return "\"devname\" missing or not a string";
  const cJSON *flag = cJSON_GetObjectItem(item, "flag");
  uint8_t value;
  if (cJSON_IsString(flag) && flag->valuestring != NULL)
    value = flag_from_text(flag->valuestring);
  else if (cJSON_IsNumber(flag))
    value = flag_from_number(flag->valuedouble);
  else
    return "\"flag\" missing or not a string or number";
  // The name, cut to leave room for its terminating zero; the rest of the
  // entry is zero already. Copied by hand: snprintf would be one more
  // import, bound when the program starts.
  const char *from = name->valuestring;
  for (size_t i = 0; i < sizeof entry->devname - 1 && from[i] != '\0'; i++)
    entry->devname[i] = from[i];
  entry->flag = value;
  return NULL;
}

int parse_set_request(const char *json, FlagTable *table, SetRefusal *refusal) {
  cJSON *root = cJSON_Parse(json);
  if (root == NULL)
    return SET_BAD_JSON;

  // An array's elements and an object's members are the root's children; a
  // scalar root has none. Count them before filling anything, and walk the
  // child list directly: indexing each element anew would be quadratic in
  // the size of a hostile array.
  int count = 0;
  for (const cJSON *item = root->child; item != NULL; item = item->next) {
    if (++count > FLAG_TABLE_MAX_ENTRIES)
      break;
  }
  if (count > FLAG_TABLE_MAX_ENTRIES) {
    refusal->elements = cJSON_GetArraySize(root);
    cJSON_Delete(root);
    return SET_TOO_MANY;
  }

  // Filled on the side, so a refused request leaves the caller's table as it
  // was.
  FlagTable parsed;
  memset(&parsed, 0, sizeof parsed);
  parsed.count = count;
  int index = 0;
  for (const cJSON *item = root->child; item != NULL;
       item = item->next, index++) {
    const char *reason = fill_entry(item, &parsed.entries[index]);
    if (reason != NULL) {
      refusal->index = index;
      refusal->reason = reason;
      cJSON_Delete(root);
      return SET_BAD_ENTRY;
    }
  }
  cJSON_Delete(root);
  memcpy(table, &parsed, sizeof parsed);
  return count;
}

int run_set(const char *json) {
  FlagTable table;
  memset(&table, 0, sizeof table);
  SetRefusal refusal = {0, 0, NULL};
  int count = parse_set_request(json, &table, &refusal);
  switch (count) {
  case SET_BAD_JSON:
    printf("bad json string.\n%s\n", json);
    return count;
  case SET_TOO_MANY:
    printf("too many entries: %d (at most %d)\n", refusal.elements,
           FLAG_TABLE_MAX_ENTRIES);
    return count;
  case SET_BAD_ENTRY:
    printf("bad entry %d: %s\n", refusal.index, refusal.reason);
    return count;
  }
  if (flag_request(FLAG_REQ_SET, &table) != 0)
    return -4;
  return count;
}
