// SPDX-License-Identifier: MIT
// The set request: a JSON text naming the devices and their flags, turned
// into a flag table and handed to the driver.
#ifndef FLAGTOOL_SET_REQUEST_H
#define FLAGTOOL_SET_REQUEST_H

#include "flag_table.h"

// Results of parse_set_request other than an entry count.
enum {
  SET_BAD_JSON = -1, // the text is not JSON
  SET_TOO_MANY = -2, // more elements than the table holds
  SET_BAD_ENTRY =
      -3, // an element is not an object with a usable devname and flag
};

// What went wrong with a refused request, for the message.
struct SetRefusal {
  int elements;       // SET_TOO_MANY: how many elements the request has
  int index;          // SET_BAD_ENTRY: the element at fault
  const char *reason; // SET_BAD_ENTRY: what is wrong with it
};

// parse_set_request: fills `table` from a JSON text such as
//   [{"devname":"wl0","flag":"10"},{"devname":"wl1","flag":"11"}]
// Element i becomes entry i; `count` is the number of elements. Keys match
// without regard to case; the first matching member counts. A devname is cut
// to 19 bytes. A flag is a string read like atoi (white space, a sign, the
// leading digits) or a JSON number, keeping the low 8 bits either way. Text
// after the first JSON value is ignored. A root that is not an array counts
// its members (an object) or nothing (a scalar).
// Returns the number of entries, or SET_BAD_JSON, SET_TOO_MANY or
// SET_BAD_ENTRY with `refusal` filled in; the table is then left untouched.
// Prints nothing.
int parse_set_request(const char *json, FlagTable *table, SetRefusal *refusal);

// flag_from_text: the low 8 bits of the number atoi would read from `text`.
// Defined for every text: digits beyond int's range wrap instead of
// overflowing.
uint8_t flag_from_text(const char *text);

// flag_from_number: the low 8 bits of a JSON number's integer part (the part
// atoi would read from its decimal form); 0 for an infinite or NaN value.
uint8_t flag_from_number(double value);

// run_set: the set sub-command. Parses `json` and, only when it is a valid
// request, sends the table to the driver. Prints a message on any refusal.
// Returns the number of entries sent, or a negative number when nothing was
// sent or the driver refused it.
int run_set(const char *json);

#endif
