// Base64 codec: known vectors, the lenient decoder's rules, exhaustive round
// trips of short inputs, and agreement with the machine's base64 tool.
#include "base64.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

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
// base64_decoded_size and that nothing is written past it.
std::string decode(const std::string &in) {
  size_t bound = base64_decoded_size(in.size());
  std::string out(bound + 8, static_cast<char>(JUNK));
  int n = base64_decode(in.data(), in.size(),
                        reinterpret_cast<unsigned char *>(&out[0]));
  EXPECT_LE(static_cast<size_t>(n), bound);
  EXPECT_EQ(out.substr(n), std::string(out.size() - n, static_cast<char>(JUNK)));
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
      {"bytes above 0x7F", "Y\x80W\xff" "J\xc3j", "abc"},
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

} // namespace
