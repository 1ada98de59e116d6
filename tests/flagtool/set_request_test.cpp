// SPDX-License-Identifier: MIT
// The JSON set request and its mapping onto the flag table.
#include "set_request.h"

#include <cjson/cJSON.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

// cJSON's allocations, counted, so that every parse is seen to release the
// tree it built, refused requests included.
long cjson_live;
void *counted_malloc(size_t n) {
  void *p = malloc(n);
  cjson_live += p != nullptr;
  return p;
}
void counted_free(void *p) {
  cjson_live -= p != nullptr;
  free(p);
}

// parse_set_request, checked to leave no cJSON allocation behind.
int parse(const char *json, FlagTable *table, SetRefusal *refusal) {
  cJSON_Hooks hooks = {counted_malloc, counted_free};
  cJSON_InitHooks(&hooks);
  const long before = cjson_live;
  int result = parse_set_request(json, table, refusal);
  EXPECT_EQ(cjson_live, before) << "cJSON allocations left behind";
  return result;
}

struct Entry {
  const char *name;
  int flag;
};

// A table pre-filled with junk, so that every byte the parser leaves alone
// shows.
FlagTable junk_table() {
  FlagTable table;
  memset(&table, 0xA5, sizeof table);
  return table;
}

// The table a request for `entries` must produce: all zero but what they set.
FlagTable expected_table(int count, const Entry *entries) {
  FlagTable table;
  memset(&table, 0, sizeof table);
  table.count = count;
  for (int i = 0; i < count; i++) {
    strncpy(table.entries[i].devname, entries[i].name, FLAG_DEVNAME_LEN - 1);
    table.entries[i].flag = static_cast<uint8_t>(entries[i].flag);
  }
  return table;
}

TEST(SetRequest, valid_requests_fill_the_whole_table) {
  struct Case {
    const char *json;
    int count;
    Entry entries[FLAG_TABLE_MAX_ENTRIES];
  } cases[] = {
      // The usage text's example.
      {R"([{"devname":"wl0","flag":"10"},{"devname":"wl1","flag":"11"}])",
       2,
       {{"wl0", 10}, {"wl1", 11}}},
      {"[]", 0, {}},
      {"[]xyz", 0, {}},
      {R"("wl0")", 0, {}},
      {"12", 0, {}},
      {"true", 0, {}},
      {"null", 0, {}},
      {"{}", 0, {}},
      // An object root counts its members as the elements.
      {R"({"x":{"devname":"wl0","flag":"1"}})", 1, {{"wl0", 1}}},
      // Keys match without regard to case; the first match counts; other
      // members are ignored.
      {R"([{"DevName":"a","FLAG":"2","extra":[1,2]}])", 1, {{"a", 2}}},
      {R"([{"devname":"first","devname":"second","flag":"3","flag":"4"}])",
       1,
       {{"first", 3}}},
      // Names are cut to 19 bytes; JSON escapes become UTF-8 bytes first.
      {R"([{"devname":"abcdefghijklmnopqrstuvwxy","flag":"1"}])",
       1,
       {{"abcdefghijklmnopqrs", 1}}},
      {R"([{"devname":"w\u00e9\n","flag":"1"}])", 1, {{"w\xc3\xa9\n", 1}}},
      {R"([{"devname":"","flag":"1"}])", 1, {{"", 1}}},
      // Flags as strings follow atoi and keep the low 8 bits.
      {R"([{"devname":"a","flag":"256"},{"devname":"b","flag":"-1"},)"
       R"({"devname":"c","flag":"12abc"},{"devname":"d","flag":" \t+7"},)"
       R"({"devname":"e","flag":"abc"},{"devname":"f","flag":""},)"
       R"({"devname":"g","flag":"- 5"},{"devname":"h","flag":"0x1F"}])",
       8,
       {{"a", 0},
        {"b", 255},
        {"c", 12},
        {"d", 7},
        {"e", 0},
        {"f", 0},
        {"g", 0},
        {"h", 0}}},
      // Flags as numbers: the integer part, low 8 bits.
      {R"([{"devname":"a","flag":10},{"devname":"b","flag":-1},)"
       R"({"devname":"c","flag":10.9},{"devname":"d","flag":-0.5},)"
       R"({"devname":"e","flag":1e3},{"devname":"f","flag":1e300},)"
       R"({"devname":"g","flag":-257},{"devname":"h","flag":4294967551}])",
       8,
       {{"a", 10},
        {"b", 255},
        {"c", 10},
        {"d", 0},
        {"e", 232},
        {"f", 0},
        {"g", 255},
        {"h", 255}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.json);
    FlagTable table = junk_table();
    SetRefusal refusal = {};
    EXPECT_EQ(parse(c.json, &table, &refusal), c.count);
    FlagTable expected = expected_table(c.count, c.entries);
    EXPECT_EQ(memcmp(&table, &expected, sizeof table), 0);
  }
}

TEST(SetRequest, refused_requests_leave_the_table_untouched) {
  struct Case {
    const char *json;
    int result;
    int elements_or_index;
  } cases[] = {
      {"", SET_BAD_JSON, 0},
      {"[", SET_BAD_JSON, 0},
      {R"([{"devname":"wl0","flag":"10"})", SET_BAD_JSON, 0},
      {"xyz[]", SET_BAD_JSON, 0},
      {"[[],[],[],[],[],[],[],[],[]]", SET_TOO_MANY, 9},
      {R"({"1":{},"2":{},"3":{},"4":{},"5":{},"6":{},"7":{},"8":{},"9":{}})",
       SET_TOO_MANY, 9},
      {"[1]", SET_BAD_ENTRY, 0},
      {R"(["wl0"])", SET_BAD_ENTRY, 0},
      {R"([{"flag":"1"}])", SET_BAD_ENTRY, 0},
      {R"([{"devname":1,"flag":"1"}])", SET_BAD_ENTRY, 0},
      {R"([{"devname":null,"flag":"1"}])", SET_BAD_ENTRY, 0},
      {R"([{"devname":"a"}])", SET_BAD_ENTRY, 0},
      {R"([{"devname":"a","flag":true}])", SET_BAD_ENTRY, 0},
      {R"([{"devname":"a","flag":null}])", SET_BAD_ENTRY, 0},
      {R"([{"devname":"a","flag":["1"]}])", SET_BAD_ENTRY, 0},
      {R"([{"devname":"a","flag":"1"},{"devname":"b","flag":{}}])",
       SET_BAD_ENTRY, 1},
      {R"({"x":{"devname":"a","flag":"1"},"y":3})", SET_BAD_ENTRY, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.json);
    FlagTable table = junk_table();
    const FlagTable before = table;
    SetRefusal refusal = {-1, -1, nullptr};
    EXPECT_EQ(parse(c.json, &table, &refusal), c.result);
    EXPECT_EQ(memcmp(&table, &before, sizeof table), 0);
    if (c.result == SET_TOO_MANY) {
      EXPECT_EQ(refusal.elements, c.elements_or_index);
    }
    if (c.result == SET_BAD_ENTRY) {
      EXPECT_EQ(refusal.index, c.elements_or_index);
      EXPECT_NE(refusal.reason, nullptr);
    }
  }
}

TEST(SetRequest, a_huge_array_is_refused_with_its_size) {
  std::string json = "[";
  for (int i = 0; i < 20000; i++)
    json += i ? ",{}" : "{}";
  json += "]";
  FlagTable table = junk_table();
  SetRefusal refusal = {};
  EXPECT_EQ(parse_set_request(json.c_str(), &table, &refusal), SET_TOO_MANY);
  EXPECT_EQ(refusal.elements, 20000);
}

TEST(SetRequest, flag_text_agrees_with_atoi_wherever_atoi_is_defined) {
  const char *texts[] = {"0",
                         "10",
                         "255",
                         "256",
                         "-1",
                         "-128",
                         "-129",
                         "  42",
                         "\n\v\f\r\t9",
                         "+3",
                         "--3",
                         "+-3",
                         "12abc",
                         "abc",
                         "",
                         " ",
                         "-",
                         "2147483647",
                         "-2147483647",
                         "-2147483648",
                         "007",
                         "1e3",
                         "3.9",
                         ("\xff"
                          "1")};
  for (const char *text : texts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(flag_from_text(text), static_cast<uint8_t>(atoi(text)));
  }
  // Past int's range atoi is undefined; the flag keeps the low 8 bits of the
  // number the digits spell.
  EXPECT_EQ(flag_from_text("4294967551"), 255);  // 2^32 + 255
  EXPECT_EQ(flag_from_text("-4294967297"), 255); // -(2^32 + 1)
  EXPECT_EQ(flag_from_text("99999999999999999999999"),
            255); // 10^23 - 1, and 256 divides 10^23
}

} // namespace
