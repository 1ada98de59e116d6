// SPDX-License-Identifier: MIT
// The flag table: the record dorvane exchanges with the flag driver, the two
// requests that carry it, and the show listing.
#ifndef FLAGTOOL_FLAG_TABLE_H
#define FLAGTOOL_FLAG_TABLE_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

enum {
  FLAG_TABLE_MAX_ENTRIES = 8, // entries the record has room for
  FLAG_DEVNAME_LEN = 20, // bytes of a device name, terminating zero included
};

// Request numbers understood by the driver. They are plain integers, not
// built with the kernel's direction/size/type encoding: drivers in the field
// answer exactly these.
enum {
  FLAG_REQ_SET = 1, // tool -> driver: the driver takes over the table
  FLAG_REQ_GET = 2, // driver -> tool: the driver fills the table
};

// One device's entry: 21 bytes, no padding.
struct __attribute__((packed)) FlagEntry {
  char devname[FLAG_DEVNAME_LEN]; // device name, zero-terminated when shorter
                                  // than 20 bytes
  uint8_t flag;                   // the driver's 8-bit flag value, 0 ... 255
};

// The whole table as the driver sees it: 172 bytes, alignment 1, every
// multi-byte field in the host's own byte order. The packed attribute makes
// the compiler read `count` without assuming 4-byte alignment.
struct __attribute__((packed)) FlagTable {
  int32_t count; // entries in use; the driver may report any value
  FlagEntry entries[FLAG_TABLE_MAX_ENTRIES]; // entry i at offset 4 + 21 * i
};

static_assert(sizeof(FlagEntry) == 21, "FlagEntry is 21 bytes");
static_assert(sizeof(FlagTable) == 172, "FlagTable is 172 bytes");
static_assert(alignof(FlagTable) == 1, "FlagTable has no alignment");
static_assert(offsetof(FlagTable, count) == 0, "count at 0");
static_assert(offsetof(FlagTable, entries) == 4, "entries at 4");
static_assert(offsetof(FlagEntry, devname) == 0, "devname first");
static_assert(offsetof(FlagEntry, flag) == 20, "flag after the 20 name bytes");

// The control node the driver answers on, fixed when the program is built.
// clang-tidy takes this declaration for a dynamically initialised variable;
// the definition in flag_table.cpp is a constant array.
// NOLINTNEXTLINE(bugprone-dynamic-static-initializers)
extern const char FLAG_CONTROL_NODE[];

// flag_request: one open(O_RDWR) / ioctl(request, table) / close cycle on
// the control node. On failure it prints one line naming the node and the
// system's error text, and returns -1 (open), -2 (the request) or -3 (close);
// on success it returns 0. The descriptor is never kept.
int flag_request(int request, FlagTable *table);

// flag_table_list: prints "dev[i]:NAME flag:N" for every named entry below
// `count`, to `out`. A name filling all 20 bytes is printed as those 20
// bytes; nothing past the record is read. Returns the number of lines
// printed (0 for a zero count), or -1 without printing anything when
// `count` is negative or above FLAG_TABLE_MAX_ENTRIES, which no valid table
// has.
int flag_table_list(const FlagTable *table, FILE *out);

// flag_table_json: prints the table to `out` as the set request that
// recreates it, on one line: `count` objects in index order, as in
//   [{"devname":"wl0","flag":"10"},{"devname":"","flag":"0"}]
// Entries with an empty name are included, so every index is kept; a zero
// count prints []. A name is its bytes up to the first zero (all 20 when it
// fills them) as a JSON string: '"', '\' and bytes below 0x20 are escaped,
// bytes from 0x80 up are written as they are. Returns the number of objects
// printed, or -1 without printing anything when `count` is negative or
// above FLAG_TABLE_MAX_ENTRIES.
int flag_table_json(const FlagTable *table, FILE *out);

// run_show: the show sub-command. Reads the driver's table and lists it, or
// with `json` prints it with flag_table_json. Returns 0, or a negative
// number when the driver could not be asked or its reply is not a valid
// table (a message has then been printed).
int run_show(bool json);

#endif
