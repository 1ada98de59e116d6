// Base64 codec. See base64.h for the contracts.
#include "base64.h"

#include <stdint.h>

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

} // namespace

size_t base64_encoded_size(size_t n) { return (n + 2) / 3 * 4; }

size_t base64_decoded_size(size_t n) { return (n + 3) / 4 * 3; }

int base64_encode(const unsigned char *src, size_t n, char *dst) {
  char *out = dst;
  for (; n >= 3; n -= 3, src += 3, out += 4) {
    uint32_t v = static_cast<uint32_t>(src[0]) << 16 |
                 static_cast<uint32_t>(src[1]) << 8 | src[2];
    out[0] = ALPHABET[v >> 18];
    out[1] = ALPHABET[(v >> 12) & 0x3F];
    out[2] = ALPHABET[(v >> 6) & 0x3F];
    out[3] = ALPHABET[v & 0x3F];
  }
  if (n > 0) {
    // One or two bytes remain: the missing bits are zero, the missing
    // characters '='.
    uint32_t b = n == 2 ? src[1] : 0;
    out[0] = ALPHABET[src[0] >> 2];
    out[1] = ALPHABET[((src[0] << 4) & 0x3F) | (b >> 4)];
    out[2] = n == 2 ? ALPHABET[(b << 2) & 0x3F] : '=';
    out[3] = '=';
    out += 4;
  }
  return static_cast<int>(out - dst);
}

int base64_decode(const char *src, size_t n, unsigned char *dst) {
  const unsigned char *in = reinterpret_cast<const unsigned char *>(src);
  unsigned char *out = dst;
  uint32_t acc = 0;
  int pending = 0;
  size_t i = 0;
  while (i < n) {
    // Clean input comes in whole groups of four alphabet characters; take
    // them in one step and leave everything else to the general path.
    if (pending == 0 && n - i >= 4) {
      uint32_t a = DECODE.value[in[i]], b = DECODE.value[in[i + 1]],
               c = DECODE.value[in[i + 2]], d = DECODE.value[in[i + 3]];
      if ((a | b | c | d) < 64) {
        out = put3(out, a << 18 | b << 12 | c << 6 | d);
        i += 4;
        continue;
      }
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
