// SPDX-License-Identifier: MIT
// Everything that crosses into the flag driver. This is the only file that
// opens the control node or issues requests on it.
#include "flag_table.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#ifndef FLAG_CONTROL_NODE_PATH
#define FLAG_CONTROL_NODE_PATH "/dev/flagctl"
#endif

const char FLAG_CONTROL_NODE[] = FLAG_CONTROL_NODE_PATH;

int flag_request(int request, FlagTable *table) {
  int fd = open(FLAG_CONTROL_NODE, O_RDWR);
  if (fd < 0) {
    printf("cannot open %s: %s\n", FLAG_CONTROL_NODE, strerror(errno));
    return -1;
  }
  int result = 0;
  if (ioctl(fd, request, table) < 0) {
    printf("request %d on %s failed: %s\n", request, FLAG_CONTROL_NODE,
           strerror(errno));
    result = -2;
  }
  if (close(fd) < 0 && result == 0) {
    printf("cannot close %s: %s\n", FLAG_CONTROL_NODE, strerror(errno));
    result = -3;
  }
  return result;
}

// Whether `count` is one a table can have: 0 to FLAG_TABLE_MAX_ENTRIES. A
// negative one is no empty table: listed as one, a bogus reply would be
// saved as [] and restoring it would empty the driver's table.
static bool count_valid(int32_t count) {
  return count >= 0 && count <= FLAG_TABLE_MAX_ENTRIES;
}

int flag_table_list(const FlagTable *table, FILE *out) {
  int32_t count = table->count;
  if (!count_valid(count))
    return -1;
  int lines = 0;
  for (int32_t i = 0; i < count; i++) {
    const FlagEntry *entry = &table->entries[i];
    // An empty name marks an unused slot; it keeps its index, so the
    // printed indices may have gaps.
    if (entry->devname[0] == '\0')
      continue;
    fprintf(out, "dev[%d]:%.*s flag:%u\n", (int)i, FLAG_DEVNAME_LEN,
            entry->devname, (unsigned)entry->flag);
    lines++;
  }
  return lines;
}

// Writes the bytes of `name` up to its first zero, at most FLAG_DEVNAME_LEN,
// as the inside of a JSON string. The driver holds bytes, not characters,
// so only what JSON forbids inside a string is escaped. Everything goes out
// through fprintf, runs of plain bytes as one "%.*s": each further stdio
// function would be one more import, bound when the program starts.
static void put_json_name(const char *name, FILE *out) {
  int i = 0;
  for (;;) {
    int run = i;
    while (run < FLAG_DEVNAME_LEN && name[run] != '\0' && name[run] != '"' &&
           name[run] != '\\' && (unsigned char)name[run] >= 0x20)
      run++;
    if (run > i)
      fprintf(out, "%.*s", run - i, name + i);
    if (run == FLAG_DEVNAME_LEN || name[run] == '\0')
      return;
    unsigned char c = (unsigned char)name[run];
    if (c == '"' || c == '\\')
      fprintf(out, "\\%c", c);
    else
      fprintf(out, "\\u%04x", (unsigned)c);
    i = run + 1;
  }
}

int flag_table_json(const FlagTable *table, FILE *out) {
  int32_t count = table->count;
  if (!count_valid(count))
    return -1;
  for (int32_t i = 0; i < count; i++) {
    const FlagEntry *entry = &table->entries[i];
    fprintf(out, "%s{\"devname\":\"", i == 0 ? "[" : ",");
    put_json_name(entry->devname, out);
    fprintf(out, "\",\"flag\":\"%u\"}", (unsigned)entry->flag);
  }
  fprintf(out, "%s]\n", count == 0 ? "[" : "");
  return (int)count;
}

int run_show(bool json) {
  FlagTable table;
  memset(&table, 0, sizeof table);
  if (flag_request(FLAG_REQ_GET, &table) != 0)
    return -1;
  int printed =
      json ? flag_table_json(&table, stdout) : flag_table_list(&table, stdout);
  if (printed < 0) {
    printf("invalid reply from %s: count %d (at most %d)\n", FLAG_CONTROL_NODE,
           (int)table.count, FLAG_TABLE_MAX_ENTRIES);
    return -2;
  }
  return 0;
}
