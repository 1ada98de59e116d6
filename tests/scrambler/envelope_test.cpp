// SPDX-License-Identifier: MIT
// The envelope: the known envelopes, round trips, long texts, envelopes
// rebuilt around another key, lenient decoding, too-short envelopes, and
// the XOR mask.
#include "envelope.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "base64.h"
#include "md5.h"
#include "test_support.h"

namespace {

std::string run(int (*fn)(const char *), const std::string &text, int *result) {
  return printed_by(fn, text.c_str(), result);
}

std::string b64(const std::string &bytes) {
  std::string out(base64_encoded_size(bytes.size()), '\0');
  base64_encode(reinterpret_cast<const unsigned char *>(bytes.data()),
                bytes.size(), &out[0]);
  return out;
}

std::string unb64(const std::string &text) {
  std::string out(base64_decoded_size(text.size()), '\0');
  out.resize(base64_decode(text.data(), text.size(),
                           reinterpret_cast<unsigned char *>(&out[0])));
  return out;
}

TEST(Envelope, EncodesAndDecodesTheKnownEnvelopes) {
  const struct {
    const char *source, *text, *envelope;
  } vectors[] = {
      {"envelope example", "abc", "ZjRjMDEyP2MpWg=="},
      {"envelope example", "", "ZDQxZDhj"},
  };
  for (const auto &v : vectors) {
    SCOPED_TRACE(v.envelope);
    int result;
    EXPECT_EQ(run(envelope_encode, v.text, &result),
              std::string(v.envelope) + "\n");
    EXPECT_EQ(result, static_cast<int>(strlen(v.envelope)));
    EXPECT_EQ(run(envelope_decode, v.envelope, &result),
              std::string(v.text) + "\n");
    EXPECT_EQ(result, 0);
  }
}

TEST(Envelope, TextsOfEveryLengthRoundTrip) {
  std::string every_byte;
  for (int c = 1; c < 256; c++)
    every_byte += static_cast<char>(c);
  for (size_t len = 0; len <= 257; len++) {
    std::string text = len == 256 ? every_byte : test_bytes(len, len + 1, true);
    int result;
    std::string envelope = run(envelope_encode, text, &result);
    ASSERT_EQ(static_cast<size_t>(result),
              base64_encoded_size(base64_encoded_size(text.size()) + 6));
    ASSERT_EQ(envelope.size(), static_cast<size_t>(result) + 1);
    envelope.pop_back();
    ASSERT_EQ(run(envelope_decode, envelope, &result), text + "\n") << len;
  }
}

// Long texts take the encoder's other path in both layers, and the inner
// text is masked on its way into the encoder: the envelope must still be
// the one the definition builds step by step, up to the longest text.
TEST(Envelope, LongTextsGiveTheEnvelopeOfTheDefinition) {
  const size_t lengths[] = {3071, 3072, 3073, 3085, 3086, 98304, 131071};
  for (size_t len : lengths) {
    SCOPED_TRACE("length " + std::to_string(len));
    std::string text = test_bytes(len, static_cast<uint32_t>(len), true);
    std::string inner = b64(text);
    char digest[33];
    md5_hex(reinterpret_cast<const unsigned char *>(inner.data()), inner.size(),
            digest);
    std::string masked = inner;
    for (size_t j = 0; j < masked.size(); j++)
      masked[j] = static_cast<char>(masked[j] ^ digest[j % 6]);
    int result;
    std::string envelope = run(envelope_encode, text, &result);
    ASSERT_EQ(envelope, b64(std::string(digest, 6) + masked) + "\n");
    envelope.pop_back();
    ASSERT_EQ(run(envelope_decode, envelope, &result), text + "\n");
  }
}

TEST(Envelope, AnyKeyPrefixIsTakenAsTheKey) {
  int result;
  std::string envelope = run(envelope_encode, "rebuilt, still read", &result);
  const std::string masked = unb64(envelope).substr(6);
  const struct {
    const char *case_name;
    std::string key;
  } keys[] = {
      {"the original key", unb64(envelope).substr(0, 6)},
      {"other hex digits", "000000"},
      {"bytes above 0x7F", "\x80\xff\x81\xfe\x82\xfd"},
      {"a zero byte ends the key after three", std::string("abc\0ef", 6)},
      {"a zero byte first: nothing is unmasked", std::string("\0bcdef", 6)},
  };
  for (const auto &k : keys) {
    SCOPED_TRACE(k.case_name);
    // What the masked bytes read as under this key, by the plain definition.
    std::string unmasked = masked;
    size_t key_len = strnlen(k.key.data(), 6);
    for (size_t j = 0; key_len > 0 && j < unmasked.size(); j++)
      unmasked[j] = static_cast<char>(unmasked[j] ^ k.key[j % key_len]);
    std::string expected = unb64(unmasked);
    expected = expected.substr(0, expected.find('\0'));
    EXPECT_EQ(run(envelope_decode, b64(k.key + masked), &result),
              expected + "\n");
    EXPECT_EQ(result, 0);
  }
  // The abc example's masked bytes under a key chosen to unmask them to QUJD.
  EXPECT_EQ(run(envelope_decode,
                b64("n6c\x1e"
                    "xx\x3f\x63\x29\x5a"),
                &result),
            "ABC\n");
  // A key that leaves the inner text as it is, and a text with a zero byte.
  EXPECT_EQ(run(envelope_decode,
                b64(std::string(6, '\0') + b64(std::string("ab\0cd", 5))),
                &result),
            "ab\n");
}

int unpack_checked(const char *text) { return envelope_unpack(text, true); }

// The envelope of `text` made the way the definition makes it, but around
// the six bytes `key` rather than its own key, masked with the key up to its
// first zero byte as decoding unmasks it.
std::string envelope_with_key(const std::string &text, const std::string &key) {
  std::string masked = b64(text);
  size_t key_len = strnlen(key.data(), 6);
  for (size_t j = 0; key_len > 0 && j < masked.size(); j++)
    masked[j] = static_cast<char>(masked[j] ^ key[j % key_len]);
  return b64(key + masked);
}

// The check prints exactly what the plain decode prints, or nothing. Each
// of the six key digits is compared: an envelope whose key differs from its
// text's in any one digit, or has a zero byte there, masked with that wrong
// key so that it still unmasks to the text, is refused.
TEST(Envelope, CheckedUnpackPrintsTheDecodedTextOrNothing) {
  const size_t lengths[] = {0, 1, 2, 3, 4, 5, 6, 7, 47, 3086, 70000};
  for (size_t len : lengths) {
    SCOPED_TRACE("length " + std::to_string(len));
    std::string text = test_bytes(len, static_cast<uint32_t>(len) + 7, true);
    int result;
    std::string envelope = run(envelope_encode, text, &result);
    envelope.pop_back();
    EXPECT_EQ(run(unpack_checked, envelope, &result), text + "\n");
    EXPECT_EQ(result, 0);

    const std::string key = unb64(envelope).substr(0, 6);
    EXPECT_EQ(envelope_with_key(text, key), envelope);
    for (size_t k = 0; k < 12; k++) {
      SCOPED_TRACE("key digit " + std::to_string(k % 6) +
                   (k < 6 ? " changed" : " zero"));
      std::string wrong = key;
      wrong[k % 6] = k >= 6 ? '\0' : wrong[k] == '0' ? 'f' : '0';
      std::string rekeyed = envelope_with_key(text, wrong);
      EXPECT_EQ(run(envelope_decode, rekeyed, &result), text + "\n");
      EXPECT_EQ(run(unpack_checked, rekeyed, &result), "");
      EXPECT_EQ(result, ENVELOPE_DAMAGED);
    }
  }
  // Keys no digest has: upper-case digits, a zero byte, bytes above 0x7F.
  const std::string keys[] = {"F4C012", std::string("f4c\00012", 6),
                              "\xf4\xc0\x12\x80\xff\x81"};
  for (const std::string &key : keys) {
    int result;
    EXPECT_EQ(run(unpack_checked, envelope_with_key("abc", key), &result), "");
    EXPECT_EQ(result, ENVELOPE_DAMAGED);
  }
  // One masked character changed; too short to hold a key.
  int result;
  EXPECT_EQ(run(unpack_checked, "ZjRjMDEyP2MqWg==", &result), "");
  EXPECT_EQ(result, ENVELOPE_DAMAGED);
  EXPECT_EQ(run(unpack_checked, "ZDQxZDg", &result), "");
  EXPECT_EQ(result, ENVELOPE_TOO_SHORT);
}

TEST(Envelope, WhiteSpaceInsideAnEnvelopeIsSkipped) {
  int result;
  std::string envelope = run(envelope_encode, "spaced out", &result);
  envelope.pop_back();
  std::string spaced;
  for (size_t i = 0; i < envelope.size(); i++)
    spaced += envelope.substr(i, 1) + (i % 5 == 4   ? "\r\n"
                                       : i % 3 == 0 ? " "
                                                    : "");
  EXPECT_EQ(run(envelope_decode, spaced, &result), "spaced out\n");
}

TEST(Envelope, EnvelopesShorterThanTheKeyPrintNothing) {
  const char *envelopes[] = {"",     "ZDQx",     "ZDQxZDg", "ZDQxZDg=ZDhj",
                             "====", "!!!! ...."};
  for (const char *envelope : envelopes) {
    int result;
    EXPECT_EQ(run(envelope_decode, envelope, &result), "") << envelope;
    EXPECT_EQ(result, ENVELOPE_TOO_SHORT) << envelope;
  }
}

TEST(XorMask, MatchesTheCyclicDefinition) {
  const char key[] = "k3y\x80\xffZq";
  for (size_t key_len = 0; key_len <= 7; key_len++) {
    for (size_t len = 0; len <= 80; len++) {
      std::string buf = test_bytes(len + 8, static_cast<uint32_t>(len));
      std::string expected = buf;
      for (size_t j = 0; key_len > 0 && j < len; j++)
        expected[j] = static_cast<char>(expected[j] ^ key[j % key_len]);
      EXPECT_EQ(xor_mask(reinterpret_cast<unsigned char *>(&buf[0]), len, key,
                         key_len),
                0);
      ASSERT_EQ(buf, expected)
          << "key length " << key_len << ", length " << len;
    }
  }
}

} // namespace
