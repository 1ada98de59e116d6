// SPDX-License-Identifier: MIT
// The flag table record and the show listing.
#include "flag_table.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

// Fills a table the way a driver's reply would arrive: raw bytes.
FlagTable table_with(int32_t count) {
  FlagTable table;
  memset(&table, 0, sizeof table);
  table.count = count;
  return table;
}

void set_entry(FlagTable *table, int i, const char *name, uint8_t flag) {
  snprintf(table->entries[i].devname, FLAG_DEVNAME_LEN, "%s", name);
  table->entries[i].flag = flag;
}

// Runs the listing, or with `json` the JSON form, into a temporary file and
// returns what it printed.
std::string listing(const FlagTable &table, int *result, bool json = false) {
  FILE *out = tmpfile();
  EXPECT_NE(out, nullptr);
  *result = json ? flag_table_json(&table, out) : flag_table_list(&table, out);
  std::string text(static_cast<size_t>(ftell(out)), '\0');
  rewind(out);
  EXPECT_EQ(fread(&text[0], 1, text.size(), out), text.size());
  fclose(out);
  return text;
}

TEST(FlagTable, entry_fields_sit_at_their_fixed_offsets) {
  FlagTable table;
  memset(&table, 0xEE, sizeof table);
  for (int i = 0; i < FLAG_TABLE_MAX_ENTRIES; i++) {
    memset(table.entries[i].devname, 'a' + i, FLAG_DEVNAME_LEN);
    table.entries[i].flag = static_cast<uint8_t>(0x10 + i);
  }
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&table);
  for (int i = 0; i < FLAG_TABLE_MAX_ENTRIES; i++) {
    SCOPED_TRACE(i);
    for (int k = 0; k < FLAG_DEVNAME_LEN; k++)
      EXPECT_EQ(bytes[4 + 21 * i + k], 'a' + i);
    EXPECT_EQ(bytes[24 + 21 * i], 0x10 + i);
  }
  // The eighth entry's flag is the record's last byte.
  EXPECT_EQ(bytes[171], 0x17);
}

TEST(FlagTable, count_is_in_the_hosts_byte_order) {
  FlagTable table = table_with(0x01020304);
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(&table);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  const unsigned char expected[4] = {0x01, 0x02, 0x03, 0x04};
#else
  const unsigned char expected[4] = {0x04, 0x03, 0x02, 0x01};
#endif
  EXPECT_EQ(memcmp(bytes, expected, 4), 0);
  // And a count read from unaligned storage comes back whole.
  unsigned char raw[1 + sizeof(FlagTable)];
  memcpy(raw + 1, &table, sizeof table);
  const FlagTable *shifted = reinterpret_cast<const FlagTable *>(raw + 1);
  // Read by value: EXPECT_EQ takes references, and a reference to the
  // unaligned field would itself be the misaligned access this rules out.
  const int32_t count = shifted->count;
  EXPECT_EQ(count, 0x01020304);
}

TEST(FlagTable, listing_prints_named_entries_below_count) {
  struct Case {
    const char *what;
    int32_t count;
    int filled; // entries 0 .. filled-1 are wl0, wl1, ... with flag 10 + i
    int result;
    const char *output;
    int json_result; // flag_table_json: objects printed, or -1
    const char *json;
  } cases[] = {
      {"usage example", 2, 2, 2, "dev[0]:wl0 flag:10\ndev[1]:wl1 flag:11\n", 2,
       R"([{"devname":"wl0","flag":"10"},{"devname":"wl1","flag":"11"}])"
       "\n"},
      {"zero count", 0, 3, 0, "", 0, "[]\n"},
      {"negative count", -1, 3, -1, "", -1, ""},
      {"most negative count", INT32_MIN, 3, -1, "", -1, ""},
      {"entries past count are not listed", 1, 3, 1, "dev[0]:wl0 flag:10\n", 1,
       R"([{"devname":"wl0","flag":"10"}])"
       "\n"},
      {"empty names past the filled ones", 4, 2, 2,
       "dev[0]:wl0 flag:10\ndev[1]:wl1 flag:11\n", 4,
       R"([{"devname":"wl0","flag":"10"},{"devname":"wl1","flag":"11"},)"
       R"({"devname":"","flag":"0"},{"devname":"","flag":"0"}])"
       "\n"},
      {"full table", 8, 8, 8,
       "dev[0]:wl0 flag:10\ndev[1]:wl1 flag:11\ndev[2]:wl2 flag:12\n"
       "dev[3]:wl3 flag:13\ndev[4]:wl4 flag:14\ndev[5]:wl5 flag:15\n"
       "dev[6]:wl6 flag:16\ndev[7]:wl7 flag:17\n",
       8,
       R"([{"devname":"wl0","flag":"10"},{"devname":"wl1","flag":"11"},)"
       R"({"devname":"wl2","flag":"12"},{"devname":"wl3","flag":"13"},)"
       R"({"devname":"wl4","flag":"14"},{"devname":"wl5","flag":"15"},)"
       R"({"devname":"wl6","flag":"16"},{"devname":"wl7","flag":"17"}])"
       "\n"},
      {"count above the record", 9, 8, -1, "", -1, ""},
      {"count far above the record", INT32_MAX, 8, -1, "", -1, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    FlagTable table = table_with(c.count);
    for (int i = 0; i < c.filled; i++) {
      char name[16]; // room for any int, as the format checker demands
      snprintf(name, sizeof name, "wl%d", i);
      set_entry(&table, i, name, static_cast<uint8_t>(10 + i));
    }
    int result = 0;
    EXPECT_EQ(listing(table, &result), c.output);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(listing(table, &result, true), c.json);
    EXPECT_EQ(result, c.json_result);
  }
}

TEST(FlagTable, listing_keeps_gaps_and_prints_flags_unsigned) {
  FlagTable table = table_with(3);
  set_entry(&table, 1, "wl1", 11);
  set_entry(&table, 2, "eth0", 255);
  int result = 0;
  EXPECT_EQ(listing(table, &result),
            "dev[1]:wl1 flag:11\ndev[2]:eth0 flag:255\n");
  EXPECT_EQ(result, 2);
}

TEST(FlagTable, listing_stops_an_unterminated_name_at_the_entry) {
  // Every name fills its 20 bytes; the flag byte right after must not be
  // taken as part of the name, and nothing past the record is read.
  FlagTable table = table_with(8);
  for (int i = 0; i < FLAG_TABLE_MAX_ENTRIES; i++) {
    memset(table.entries[i].devname, 'A' + i, FLAG_DEVNAME_LEN);
    table.entries[i].flag = 'z';
  }
  int result = 0;
  std::string text = listing(table, &result);
  EXPECT_EQ(result, 8);
  std::string expected;
  for (int i = 0; i < FLAG_TABLE_MAX_ENTRIES; i++) {
    expected += "dev[" + std::to_string(i) + "]:" +
                std::string(FLAG_DEVNAME_LEN, static_cast<char>('A' + i)) +
                " flag:122\n";
  }
  EXPECT_EQ(text, expected);
  // The JSON form takes the same 20 bytes of each name, and no more.
  expected = "[";
  for (int i = 0; i < FLAG_TABLE_MAX_ENTRIES; i++) {
    expected += std::string(i == 0 ? "" : ",") + R"({"devname":")" +
                std::string(FLAG_DEVNAME_LEN, static_cast<char>('A' + i)) +
                R"(","flag":"122"})";
  }
  EXPECT_EQ(listing(table, &result, true), expected + "]\n");
  EXPECT_EQ(result, 8);
}

} // namespace
