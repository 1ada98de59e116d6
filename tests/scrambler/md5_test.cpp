// SPDX-License-Identifier: MIT
// MD5: the RFC's vectors, the padding boundaries, incremental feeding, the
// wiped context, and agreement with the machine's md5sum.
#include "md5.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

std::string hex_of(const std::string &in) {
  char out[40];
  memset(out, 'x', sizeof out);
  EXPECT_EQ(md5_hex(reinterpret_cast<const unsigned char *>(in.data()),
                    in.size(), out),
            0);
  EXPECT_EQ(out[32], '\0');
  return std::string(out);
}

// The digest of `in` fed to MD5Update in pieces of the given sizes (the last
// piece takes the rest), as hex.
std::string hex_in_pieces(const std::string &in, const size_t *sizes,
                          size_t count) {
  MD5_CTX context;
  MD5Init(&context);
  size_t at = 0;
  for (size_t i = 0; i < count && at < in.size(); i++) {
    size_t n = std::min(sizes[i], in.size() - at);
    MD5Update(&context, reinterpret_cast<const unsigned char *>(in.data()) + at,
              n);
    at += n;
  }
  MD5Update(&context, reinterpret_cast<const unsigned char *>(in.data()) + at,
            in.size() - at);
  unsigned char digest[16];
  MD5Final(digest, &context);
  std::string hex;
  char two[3];
  for (unsigned char byte : digest) {
    snprintf(two, sizeof two, "%02x", byte);
    hex += two;
  }
  return hex;
}

struct Vector {
  const char *source;
  std::string in;
  const char *digest;
};

TEST(Md5, MatchesKnownDigests) {
  const std::string a(1000000, 'a');
  const Vector vectors[] = {
      {"RFC 1321, appendix A.5", "", "d41d8cd98f00b204e9800998ecf8427e"},
      {"RFC 1321, appendix A.5", "a", "0cc175b9c0f1b6a831c399e269772661"},
      {"RFC 1321, appendix A.5", "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"RFC 1321, appendix A.5", "message digest",
       "f96b697d7cb7938d525a2f31aaf161d0"},
      {"RFC 1321, appendix A.5", "abcdefghijklmnopqrstuvwxyz",
       "c3fcd3d76192e4007dfb496cca67e13b"},
      {"RFC 1321, appendix A.5",
       "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"RFC 1321, appendix A.5",
       "1234567890123456789012345678901234567890"
       "1234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // Lengths around the 56- and 64-byte padding boundaries, digests
      // computed with GNU coreutils md5sum.
      {"md5sum", a.substr(0, 55), "ef1772b6dff9a122358552954ad0df65"},
      {"md5sum", a.substr(0, 56), "3b0c8ac703f828b04c6c197006d17218"},
      {"md5sum", a.substr(0, 57), "652b906d60af96844ebd21b674f35e93"},
      {"md5sum", a.substr(0, 63), "b06521f39153d618550606be297466d5"},
      {"md5sum", a.substr(0, 64), "014842d480b571495a4a0363793f7367"},
      {"md5sum", a.substr(0, 65), "c743a45e0d2e6a95cb859adae0248435"},
      {"md5sum", a.substr(0, 119), "8a7bd0732ed6a28ce75f6dabc90e1613"},
      {"md5sum", a.substr(0, 120), "5f61c0ccad4cac44c75ff505e1f1e537"},
      {"one million \"a\", md5sum", a, "7707d6ae4e027c70eea2a935c2296f21"},
      {"md5sum, the inner text of abc", "YWJj",
       "f4c0128178a6a21b7a3dd76729725d91"},
  };
  for (const Vector &v : vectors) {
    SCOPED_TRACE(std::string(v.source) + ", length " +
                 std::to_string(v.in.size()));
    EXPECT_EQ(hex_of(v.in), v.digest);
  }
}

TEST(Md5, PiecesGiveTheSameDigestAsOneCall) {
  const std::string in = test_bytes(300, 7);
  const std::string whole = hex_of(in);
  // Every split into two pieces, then uneven pieces that cross block edges.
  for (size_t cut = 0; cut <= in.size(); cut++)
    ASSERT_EQ(hex_in_pieces(in, &cut, 1), whole) << "cut at " << cut;
  const size_t uneven[][5] = {{1, 1, 1, 1, 1},
                              {63, 1, 64, 0, 65},
                              {55, 9, 56, 8, 1},
                              {0, 0, 128, 3, 120},
                              {200, 50, 49, 1, 0}};
  for (const auto &sizes : uneven)
    EXPECT_EQ(hex_in_pieces(in, sizes, 5), whole)
        << sizes[0] << "," << sizes[1];
}

TEST(Md5, TransformOfThePaddedBlockGivesTheDigest) {
  // "abc" padded by hand: 0x80, zeros, the bit count 24 at byte 56.
  unsigned char block[64] = {'a', 'b', 'c', 0x80};
  block[56] = 24;
  MD5_CTX context;
  MD5Init(&context);
  MD5Transform(context.state, block);
  char hex[33];
  for (size_t i = 0; i < 16; i++)
    snprintf(hex + 2 * i, 3, "%02x",
             (context.state[i / 4] >> (8 * (i % 4))) & 0xFF);
  EXPECT_STREQ(hex, "900150983cd24fb0d6963f7d28e17f72"); // RFC 1321, A.5
}

TEST(Md5, BitCountCarriesIntoTheHighWord) {
  MD5_CTX context;
  MD5Init(&context);
  context.count[0] = 0xFFFFFE00u; // as if 2^29 - 64 bytes had been hashed
  const unsigned char block[128] = {0};
  MD5Update(&context, block, sizeof block);
  EXPECT_EQ(context.count[0], 0x200u);
  EXPECT_EQ(context.count[1], 1u);
}

TEST(Md5, FinalWipesTheContext) {
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, reinterpret_cast<const unsigned char *>("secret"), 6);
  unsigned char digest[16];
  MD5Final(digest, &context);
  const unsigned char *bytes =
      reinterpret_cast<const unsigned char *>(&context);
  for (size_t i = 0; i < sizeof context; i++)
    ASSERT_EQ(bytes[i], 0) << "byte " << i;
}

TEST(Md5, AgreesWithTheSystemTool) {
  for (uint32_t seed = 1; seed <= 40; seed++) {
    std::string in = test_bytes(seed * 13 % 400, seed);
    std::string expected;
    if (!tool_output("md5sum", in, &expected))
      GTEST_SKIP() << "no working md5sum command";
    ASSERT_EQ(hex_of(in), expected.substr(0, 32)) << "seed " << seed;
  }
}

} // namespace
