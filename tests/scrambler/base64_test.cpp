// SPDX-License-Identifier: MIT
// Base64 codec: known vectors, the lenient decoder's rules, exhaustive round
// trips of short inputs, agreement with the machine's base64 tool, long
// inputs, and masked encoding.
#include "base64.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

const unsigned char JUNK = 0xA5;

// Encodes into a junk-filled buffer; checks the count and that nothing is
// written past it.
std::string encode(const std::string &in) {
  std::string out(base64_encoded_size(in.size()) + 8, static_cast<char>(JUNK));
  int n = base64_encode(reinterpret_cast<const unsigned char *>(in.data()),
                        in.size(), &out[0]);
  EXPECT_EQ(static_cast<size_t>(n), base64_encoded_size(in.size()));
  EXPECT_EQ(out.substr(n), std::string(8, static_cast<char>(JUNK)));
  return out.substr(0, n);
}

// Decodes into a junk-filled buffer; checks the count stays within
// base64_decoded_size, the bound base64.h documents, and that nothing is
// written past it. The input is an exact-size copy on the heap, so that a
// sanitizer or valgrind sees a read past its end (a string has a terminating
// zero there).
std::string decode(const std::string &in) {
  size_t bound = base64_decoded_size(in.size());
  EXPECT_EQ(bound, (in.size() + 3) / 4 * 3);
  std::string out(bound + 8, static_cast<char>(JUNK));
  std::vector<char> exact(in.begin(), in.end());
  int n = base64_decode(exact.data(), exact.size(),
                        reinterpret_cast<unsigned char *>(&out[0]));
  EXPECT_LE(static_cast<size_t>(n), bound);
  EXPECT_EQ(out.substr(n),
            std::string(out.size() - n, static_cast<char>(JUNK)));
  return out.substr(0, n);
}

struct Vector {
  const char *source;
  std::string in;
  std::string out;
};

TEST(Base64, EncodesAndDecodesKnownVectors) {
  const Vector vectors[] = {
      {"RFC 4648, section 10", "", ""},
      {"RFC 4648, section 10", "f", "Zg=="},
      {"RFC 4648, section 10", "fo", "Zm8="},
      {"RFC 4648, section 10", "foo", "Zm9v"},
      {"RFC 4648, section 10", "foob", "Zm9vYg=="},
      {"RFC 4648, section 10", "fooba", "Zm9vYmE="},
      {"RFC 4648, section 10", "foobar", "Zm9vYmFy"},
      {"alphabet ends", std::string("\x00\x10\x83\xfb\xff\xbf", 6), "ABCD+/+/"},
      {"envelope example", "abc", "YWJj"},
  };
  for (const Vector &v : vectors) {
    SCOPED_TRACE(std::string(v.source) + ": " + v.out);
    EXPECT_EQ(encode(v.in), v.out);
    EXPECT_EQ(decode(v.out), v.in);
  }
}

TEST(Base64, DecoderSkipsWhatItDoesNotKnowAndStopsAtPadding) {
  const Vector vectors[] = {
      {"white space", "YW Jj", "abc"},
      {"line breaks and tabs", "Y\r\nW\nJ\tj\n", "abc"},
      {"three characters", "YWI", "ab"},
      {"two characters", "YQ", "a"},
      {"a single leftover character", "Y", ""},
      {"a leftover after a group", "YWJjY", "abc"},
      {"'=' ends the input", "YQ==YWJj", "a"},
      {"'=' inside a group", "YW=Jj", "a"},
      {"'=' first", "=YWJj", ""},
      {"URL-safe characters", "-_-_", ""},
      {"URL-safe characters inside", "Y-W_Jj", "abc"},
      {"bytes above 0x7F",
       "Y\x80W\xff"
       "J\xc3j",
       "abc"},
      {"a zero byte inside the count", std::string("YW\0Jj", 5), "abc"},
      {"nothing from the alphabet", "!@#$%^&*() ", ""},
      {"wrong case is another value", "ywjj", "\xcb\x08\xe3"},
  };
  for (const Vector &v : vectors) {
    SCOPED_TRACE(v.source);
    EXPECT_EQ(decode(v.in), v.out);
  }
}

TEST(Base64, EveryOneAndTwoByteInputRoundTrips) {
  for (int a = 0; a < 256; a++) {
    std::string one(1, static_cast<char>(a));
    std::string e1 = encode(one);
    ASSERT_EQ(e1.substr(2), "==") << a;
    ASSERT_EQ(decode(e1), one) << a;
    for (int b = 0; b < 256; b++) {
      std::string two = one + static_cast<char>(b);
      std::string e2 = encode(two);
      ASSERT_EQ(e2[3], '=') << a << " " << b;
      ASSERT_EQ(decode(e2), two) << a << " " << b;
    }
  }
}

TEST(Base64, DecoderNeverWritesPastItsBoundOnGarbage) {
  // Any bytes at all: decode() checks the bound and the untouched tail.
  for (uint32_t seed = 1; seed <= 2000; seed++)
    decode(test_bytes(seed % 67, seed));
}

TEST(Base64, AgreesWithTheSystemTool) {
  for (uint32_t seed = 1; seed <= 40; seed++) {
    std::string in = test_bytes(seed * 7 % 300, seed);
    std::string expected;
    if (!tool_output("base64 -w0", in, &expected))
      GTEST_SKIP() << "no working base64 command";
    ASSERT_EQ(encode(in), expected) << "seed " << seed;
    ASSERT_EQ(decode(expected), in) << "seed " << seed;
  }
}

// Long inputs are encoded another way (pairs of characters from a table,
// several groups a round): lengths from where that starts on, ending in
// every part of a round, and the longest text a command line carries. Each
// must encode as its short pieces do, and as the system tool does.
TEST(Base64, LongInputsEncodeAsTheirShortPiecesDo) {
  std::vector<size_t> lengths;
  for (size_t len = 4090; len <= 4150; len++)
    lengths.push_back(len);
  lengths.push_back(131072);
  for (size_t len : lengths) {
    SCOPED_TRACE("length " + std::to_string(len));
    std::string in = test_bytes(len, static_cast<uint32_t>(len));
    std::string pieces; // 3000 bytes are whole groups, short ones
    for (size_t at = 0; at < len; at += 3000)
      pieces += encode(in.substr(at, 3000));
    ASSERT_EQ(encode(in), pieces);
    ASSERT_EQ(decode(pieces), in);
    // Again from an exact-size copy, so that a sanitizer sees a read past
    // the end (a string has a terminating zero there).
    std::vector<unsigned char> exact(in.begin(), in.end());
    std::string again(pieces.size(), '\0');
    base64_encode(exact.data(), exact.size(), &again[0]);
    ASSERT_EQ(again, pieces);
    std::string expected;
    if (tool_output("base64 -w0", in, &expected)) {
      ASSERT_EQ(pieces, expected);
    }
  }
}

// Encodes with a mask into a junk-filled buffer; checks the count, that
// nothing is written past it and that the input is left as it was.
std::string encode_masked(const std::string &in, const std::string &mask) {
  std::string out(base64_encoded_size(in.size()) + 8, static_cast<char>(JUNK));
  // A copy, to show that the encoder never writes to its input.
  // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
  const std::string before = in;
  int n = base64_encode_masked(
      reinterpret_cast<const unsigned char *>(in.data()), in.size(),
      reinterpret_cast<const unsigned char *>(mask.data()), &out[0]);
  EXPECT_EQ(static_cast<size_t>(n), base64_encoded_size(in.size()));
  EXPECT_EQ(out.substr(n), std::string(8, static_cast<char>(JUNK)));
  EXPECT_EQ(in, before);
  return out.substr(0, n);
}

TEST(Base64, MaskedEncodingIsTheEncodingOfTheMaskedBytes) {
  const struct {
    const char *source;
    std::string in, mask, out;
  } vectors[] = {
      {"envelope example", "YWJj", "f4c012", "P2MpWg=="},
      {"a zero mask", "foobar", std::string(6, '\0'), "Zm9vYmFy"},
  };
  for (const auto &v : vectors)
    EXPECT_EQ(encode_masked(v.in, v.mask), v.out) << v.source;

  // By the definition: byte j XOR-ed with mask[j mod 6], then encoded. Short
  // lengths, long ones ending in every part of a round (and so on either
  // half of the mask), and the longest text.
  const std::string masks[] = {"f4c012",
                               std::string("\x80\xff\x00\x7f\x01Z", 6)};
  std::vector<size_t> lengths;
  for (size_t len = 0; len <= 40; len++)
    lengths.push_back(len);
  for (size_t len = 4090; len <= 4150; len++)
    lengths.push_back(len);
  lengths.push_back(131072);
  for (const std::string &mask : masks) {
    for (size_t len : lengths) {
      std::string in = test_bytes(len, static_cast<uint32_t>(len) + 3);
      std::string masked = in;
      for (size_t j = 0; j < masked.size(); j++)
        masked[j] = static_cast<char>(masked[j] ^ mask[j % 6]);
      ASSERT_EQ(encode_masked(in, mask), encode(masked)) << "length " << len;
    }
  }
}

} // namespace
