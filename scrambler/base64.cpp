// SPDX-License-Identifier: MIT
// Base64 codec. See base64.h for the contracts.
#include "base64.h"

#include <stdint.h>
#include <string.h>

namespace {

constexpr char ALPHABET[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Decoding table values besides 0..63. Both have bit 6 set, so OR-ing four
// looked-up values and testing for < 64 tells whether a whole group is
// plain alphabet characters.
const unsigned char SKIP = 0x40; // not in the alphabet: ignored
const unsigned char PAD = 0x41;  // '=': ends the input

struct DecodeTable {
  unsigned char value[256];
};

// Built by the compiler, so the table is plain read-only data: no start-up
// work and no global constructor.
constexpr DecodeTable make_decode_table() {
  DecodeTable t{};
  for (int c = 0; c < 256; c++)
    t.value[c] = SKIP;
  for (int i = 0; i < 64; i++)
    t.value[static_cast<unsigned char>(ALPHABET[i])] =
        static_cast<unsigned char>(i);
  t.value[static_cast<unsigned char>('=')] = PAD;
  return t;
}

constexpr DecodeTable DECODE = make_decode_table();

// Writes the three bytes held in the low 24 bits of v.
inline unsigned char *put3(unsigned char *out, uint32_t v) {
  out[0] = static_cast<unsigned char>(v >> 16);
  out[1] = static_cast<unsigned char>(v >> 8);
  out[2] = static_cast<unsigned char>(v);
  return out + 3;
}

// Reads the four bytes at p as one big-endian word, whatever the host's
// byte order. Compilers make this a single load (and a byte swap where the
// host is little-endian).
inline uint32_t load_be32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Writes the four characters of the 3-byte group in the top 24 bits of v.
inline void put_pairs(char *out, const Base64Pairs &t, uint32_t v) {
  memcpy(out, t.pair[v >> 20], 2);
  memcpy(out + 2, t.pair[(v >> 8) & 0xFFF], 2);
}

// A 6-byte XOR mask covers two whole groups, so every group meets the same
// three mask bytes in the same places: the mask is kept as two words, mask
// bytes 0-2 (half 0) and 3-5 (half 1) in the top three bytes of each, and a
// group read as a big-endian word is masked with one XOR. No mask is two
// zero words. The words travel as two arguments, not as a record: a record
// passed by reference would be an address-taken local in every caller, and
// so one more function the stack protector guards.
inline uint32_t mask_word(const unsigned char *mask, size_t half) {
  if (mask == NULL)
    return 0;
  mask += 3 * half;
  return static_cast<uint32_t>(mask[0]) << 24 |
         static_cast<uint32_t>(mask[1]) << 16 |
         static_cast<uint32_t>(mask[2]) << 8;
}

// Bytes a round of pair_rounds takes: four groups, two mask periods, so
// every round starts again at mask byte 0.
const size_t ROUND = 12;
static_assert(BASE64_PAIRS_MIN > ROUND, "long inputs hold at least a round");

// pair_rounds: encodes rounds from p on into dst through t while p is
// before end. Each group is read as four bytes and stored before the next
// is read, so the stores stay plain 2-byte ones instead of being gathered
// into wider ones, which costs more than it saves. The inner text, which
// has no mask, goes through here too, XOR-ed with 0: a copy of the loop
// without the XOR saved one operation in about twenty on it and cost 424
// bytes of the board's flash. Returns where it stopped.
const unsigned char *pair_rounds(const unsigned char *p,
                                 const unsigned char *end, const Base64Pairs &t,
                                 uint32_t m0, uint32_t m1, char *dst) {
  for (; p < end; p += ROUND, dst += ROUND / 3 * 4) {
    put_pairs(dst, t, load_be32(p) ^ m0);
    put_pairs(dst + 4, t, load_be32(p + 3) ^ m1);
    put_pairs(dst + 8, t, load_be32(p + 6) ^ m0);
    put_pairs(dst + 12, t, load_be32(p + 9) ^ m1);
  }
  return p;
}

// encode: what every encoder does: writes the base64 form of the n bytes at
// src, byte j XOR-ed with mask byte j mod 6 (m0 and m1 its two words), to
// dst.
// From BASE64_PAIRS_MIN bytes on, and given a table, whole rounds go
// through the table, filled here first; the last group of a round is read
// as four bytes, so a round is only taken while a byte follows it. Returns
// the number of characters written.
int encode(const unsigned char *src, size_t n, uint32_t m0, uint32_t m1,
           char *dst, Base64Pairs *pairs) {
  char *out = dst;
  size_t i = 0;
  if (pairs != NULL && n >= BASE64_PAIRS_MIN) {
    for (int a = 0; a < 64; a++) {
      for (int b = 0; b < 64; b++) {
        pairs->pair[a * 64 + b][0] = ALPHABET[a];
        pairs->pair[a * 64 + b][1] = ALPHABET[b];
      }
    }
    const unsigned char *p =
        pair_rounds(src, src + n - ROUND, *pairs, m0, m1, out);
    i = static_cast<size_t>(p - src);
    out += i / 3 * 4;
  }
  // Here the mask starts at its first byte: at the start of the input, or
  // after whole rounds.
  uint32_t m = m0;
  for (; n - i >= 3; i += 3, out += 4, m ^= m0 ^ m1) {
    uint32_t v = (static_cast<uint32_t>(src[i]) << 16 |
                  static_cast<uint32_t>(src[i + 1]) << 8 | src[i + 2]) ^
                 (m >> 8);
    out[0] = ALPHABET[v >> 18];
    out[1] = ALPHABET[(v >> 12) & 0x3F];
    out[2] = ALPHABET[(v >> 6) & 0x3F];
    out[3] = ALPHABET[v & 0x3F];
  }
  if (i < n) {
    // One or two bytes remain: the missing bits are zero, the missing
    // characters '='.
    uint32_t a = src[i] ^ (m >> 24);
    uint32_t b = n - i == 2 ? (src[i + 1] ^ (m >> 16)) & 0xFF : 0;
    out[0] = ALPHABET[a >> 2];
    out[1] = ALPHABET[((a << 4) & 0x3F) | (b >> 4)];
    out[2] = n - i == 2 ? ALPHABET[(b << 2) & 0x3F] : '=';
    out[3] = '=';
    out += 4;
  }
  return static_cast<int>(out - dst);
}

// encode_on_stack: base64_encode_into with a table of its own, on the
// stack, for a long input.
int encode_on_stack(const unsigned char *src, size_t n,
                    const unsigned char *mask, char *dst) {
  if (n < BASE64_PAIRS_MIN)
    return base64_encode_into(src, n, mask, dst, NULL);
  Base64Pairs pairs;
  return base64_encode_into(src, n, mask, dst, &pairs);
}

} // namespace

size_t base64_encoded_size(size_t n) { return (n + 2) / 3 * 4; }

size_t base64_decoded_size(size_t n) { return (n + 3) / 4 * 3; }

int base64_encode(const unsigned char *src, size_t n, char *dst) {
  return encode_on_stack(src, n, NULL, dst);
}

int base64_encode_masked(const unsigned char *src, size_t n,
                         const unsigned char mask[6], char *dst) {
  return encode_on_stack(src, n, mask, dst);
}

int base64_encode_into(const unsigned char *src, size_t n,
                       const unsigned char *mask, char *dst,
                       Base64Pairs *pairs) {
  return encode(src, n, mask_word(mask, 0), mask_word(mask, 1), dst, pairs);
}

int base64_decode(const char *src, size_t n, unsigned char *dst) {
  const unsigned char *in = reinterpret_cast<const unsigned char *>(src);
  unsigned char *out = dst;
  uint32_t acc = 0;
  int pending = 0;
  size_t i = 0;
  while (i < n) {
    // Clean input comes in whole groups of four alphabet characters; take
    // them in one step, group after group, and leave everything else to
    // the general path.
    if (pending == 0) {
      for (; n - i >= 4; i += 4) {
        uint32_t a = DECODE.value[in[i]], b = DECODE.value[in[i + 1]],
                 c = DECODE.value[in[i + 2]], d = DECODE.value[in[i + 3]];
        if ((a | b | c | d) >= 64)
          break;
        out = put3(out, a << 18 | b << 12 | c << 6 | d);
      }
      if (i == n)
        break;
    }
    unsigned char v = DECODE.value[in[i]];
    if (v == PAD)
      break;
    i++;
    if (v == SKIP)
      continue;
    acc = acc << 6 | v;
    if (++pending == 4) {
      out = put3(out, acc);
      acc = 0;
      pending = 0;
    }
  }
  // Leftover characters: three carry 18 bits (two bytes and 2 spare bits),
  // two carry 12 bits (one byte), one carries too few for a byte.
  if (pending == 3) {
    out[0] = static_cast<unsigned char>(acc >> 10);
    out[1] = static_cast<unsigned char>(acc >> 2);
    out += 2;
  } else if (pending == 2) {
    *out++ = static_cast<unsigned char>(acc >> 4);
  }
  return static_cast<int>(out - dst);
}
