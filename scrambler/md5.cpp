// SPDX-License-Identifier: MIT
// MD5 as RFC 1321 defines it. See md5.h for the contracts.
#include "md5.h"

#include <string.h>

namespace {

// Zeroes `words` 32-bit words at p through a volatile pointer: the stores
// are kept even though the object is never read again, which a plain memset
// of a dying object does not guarantee.
void wipe_words(void *p, size_t words) {
  volatile uint32_t *w = static_cast<volatile uint32_t *>(p);
  for (size_t i = 0; i < words; i++)
    w[i] = 0;
}

inline uint32_t load_le32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void store_le32(unsigned char *p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

const unsigned char PADDING[64] = {0x80};

void md5_blocks(uint32_t state[4], uint32_t *__restrict w,
                const unsigned char *input, size_t blocks);

} // namespace

void MD5Init(MD5_CTX *context) {
  context->count[0] = context->count[1] = 0;
  context->state[0] = 0x67452301;
  context->state[1] = 0xefcdab89;
  context->state[2] = 0x98badcfe;
  context->state[3] = 0x10325476;
}

void MD5Update(MD5_CTX *context, const unsigned char *input, size_t len) {
  size_t index = (context->count[0] >> 3) & 0x3F;
  // The bit count is kept mod 2^64 in two words; len << 3 may carry out of
  // the low word, and len >> 29 is what does not fit in it at all.
  uint32_t low_bits = static_cast<uint32_t>(len << 3);
  context->count[0] += low_bits;
  if (context->count[0] < low_bits)
    context->count[1]++;
  context->count[1] += static_cast<uint32_t>(len >> 29);

  size_t part = 64 - index;
  size_t i = 0;
  if (len >= part) {
    memcpy(&context->buffer[index], input, part);
    md5_blocks(context->state, context->words, context->buffer, 1);
    size_t blocks = (len - part) / 64;
    md5_blocks(context->state, context->words, &input[part], blocks);
    i = part + blocks * 64;
    index = 0;
  }
  memcpy(&context->buffer[index], &input[i], len - i);
}

void MD5Final(unsigned char digest[16], MD5_CTX *context) {
  // The padding leaves eight bytes of the last block free, and the bit
  // count, little-endian, is put there in a loop of byte stores: as two
  // store_le32 the compiler gathers its bytes into byte-swapped words,
  // which MIPS32 release 1 builds from shifts and masks, 56 bytes more of
  // the board's flash. It runs once a digest, so the loop costs no speed.
  uint32_t low = context->count[0], high = context->count[1];
  size_t index = (low >> 3) & 0x3F;
  MD5Update(context, PADDING, index < 56 ? 56 - index : 120 - index);
  for (int i = 0; i < 8; i++)
    context->buffer[56 + i] =
        static_cast<unsigned char>((i < 4 ? low : high) >> (8 * (i % 4)));
  md5_blocks(context->state, context->words, context->buffer, 1);
  for (size_t i = 0; i < 4; i++)
    store_le32(digest + 4 * i, context->state[i]);
  static_assert(sizeof(MD5_CTX) % 4 == 0, "the context wipes as whole words");
  wipe_words(context, sizeof *context / 4);
}

// The auxiliary functions in forms equal to the RFC's but with fewer
// operations: F and G select bits with one AND instead of two, I reads as
// the RFC writes it, and H has a step of its own (STEP_H). Fewer operations
// is what counts on the board's in-order processor. A host that runs
// several at once is held up by the operations that wait for b, the value
// the step before has just computed, instead; G split as (b & d) + (c & ~d)
// would leave one of them instead of three, for two more operations.
#define F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define I(x, y, z) ((y) ^ ((x) | ~(z)))

// One step: a = b + ((a + f(b, c, d) + x + t) <<< s). b is the result of
// the step just before, so x and t are added first, while b is still being
// computed, and only f, the rotation and the last addition wait for it.
#define STEP(f, a, b, c, d, x, s, t)                                           \
  do {                                                                         \
    (a) += (x) + (t);                                                          \
    (a) += f((b), (c), (d));                                                   \
    (a) = ((a) << (s)) | ((a) >> (32 - (s)));                                  \
    (a) += (b);                                                                \
  } while (0)

// A step of round 3. H(b, c, d) = b ^ c ^ d, with c ^ d carried in h from
// the step before, so one XOR waits for b. The next step's c ^ d is this
// step's b ^ c, which is h ^ d once h holds b ^ c ^ d: one more XOR, and
// no copy of c.
#define STEP_H(a, b, c, d, x, s, t, h)                                         \
  do {                                                                         \
    (a) += (x) + (t);                                                          \
    (h) ^= (b);                                                                \
    (a) += (h);                                                                \
    (a) = ((a) << (s)) | ((a) >> (32 - (s)));                                  \
    (a) += (b);                                                                \
    (h) ^= (d);                                                                \
  } while (0)

namespace {

// The sine-derived constants of the 64 steps, in step order (RFC 1321,
// section 3.4).
const uint32_t T[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a,
    0xa8304613, 0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340,
    0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8,
    0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92,
    0xffeff47d, 0x85845dd1, 0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// md5_blocks: compresses the `blocks` 64-byte blocks at input into state,
// one after another, as MD5Transform does one. The chaining words stay in
// locals from block to block, and the decoded words of every block share
// the 32 words at w (a context's, so that no buffer of a digest lives on
// the stack), wiped once, after the last block. w never overlaps the
// input, and says so (__restrict): the compiler may then decode a block as
// it did into a local array, instead of taking every store into w for one
// that may change the input.
//
// Each round is a loop over its four groups of four steps: the rotations
// repeat with every group, the constants come from T. This keeps the code
// a quarter of its unrolled size, which counts on the board's flash, and
// leaves every step's dependency chain as short as unrolled.
//
// The words are kept twice, w[k] = w[k + 16] = word k, so that the word a
// step adds in rounds 2 to 4, at an index that wraps mod 16, is always at
// a fixed offset from the group's base: (1 + 5k) mod 16 in round 2 is
// w[4j + 1], w[4j + 6], w[4j + 11], w[4j + 16] for group j; rounds 3 and
// 4 go down from base 16 in steps of 4.
void md5_blocks(uint32_t state[4], uint32_t *__restrict w,
                const unsigned char *input, size_t blocks) {
  uint32_t s0 = state[0], s1 = state[1], s2 = state[2], s3 = state[3];
  for (; blocks > 0; blocks--, input += 64) {
    uint32_t a = s0, b = s1, c = s2, d = s3;
    const uint32_t *t = T;
    // Two words a turn: decoded one at a time they are plain copies on a
    // little-endian host, and its compiler makes the loop two calls of
    // memmove a block (0.8% more of a whole run of obscure on a long
    // text); so it moves them in wide registers, and on the board this
    // form costs 12 bytes and saves 21 instructions a block.
    for (size_t k = 0; k < 16; k += 2) {
      uint32_t even = load_le32(input + 4 * k);
      uint32_t odd = load_le32(input + 4 * k + 4);
      w[k] = w[k + 16] = even;
      w[k + 1] = w[k + 17] = odd;
    }
    // Round 1
    for (const uint32_t *x = w; x < w + 16; x += 4, t += 4) {
      STEP(F, a, b, c, d, x[0], 7, t[0]);
      STEP(F, d, a, b, c, x[1], 12, t[1]);
      STEP(F, c, d, a, b, x[2], 17, t[2]);
      STEP(F, b, c, d, a, x[3], 22, t[3]);
    }
    // Round 2: step k adds word (1 + 5k) mod 16.
    for (const uint32_t *x = w; x < w + 16; x += 4, t += 4) {
      STEP(G, a, b, c, d, x[1], 5, t[0]);
      STEP(G, d, a, b, c, x[6], 9, t[1]);
      STEP(G, c, d, a, b, x[11], 14, t[2]);
      STEP(G, b, c, d, a, x[16], 20, t[3]);
    }
    // Round 3: step k adds word (5 + 3k) mod 16.
    uint32_t h = c ^ d;
    for (const uint32_t *x = w + 16; x > w; x -= 4, t += 4) {
      STEP_H(a, b, c, d, x[5], 4, t[0], h);
      STEP_H(d, a, b, c, x[8], 11, t[1], h);
      STEP_H(c, d, a, b, x[11], 16, t[2], h);
      STEP_H(b, c, d, a, x[14], 23, t[3], h);
    }
    // Round 4: step k adds word 7k mod 16.
    for (const uint32_t *x = w + 16; x > w; x -= 4, t += 4) {
      STEP(I, a, b, c, d, x[0], 6, t[0]);
      STEP(I, d, a, b, c, x[7], 10, t[1]);
      STEP(I, c, d, a, b, x[14], 15, t[2]);
      STEP(I, b, c, d, a, x[5], 21, t[3]);
    }
    s0 += a;
    s1 += b;
    s2 += c;
    s3 += d;
  }
  state[0] = s0;
  state[1] = s1;
  state[2] = s2;
  state[3] = s3;
  // The blocks may be secret input; their decoded copy must not outlive us.
  wipe_words(w, 32);
}

} // namespace

void MD5Transform(uint32_t state[4], const unsigned char block[64]) {
  uint32_t w[32];
  md5_blocks(state, w, block, 1);
}

#undef F
#undef G
#undef I
#undef STEP
#undef STEP_H

int md5_hex(MD5_CTX *context, const unsigned char *input, size_t len,
            char *out) {
  static const char HEX[] = "0123456789abcdef";
  // The digest goes to the second half of out and is spelled out from the
  // front: digit pair i is written over bytes 2i and 2i + 1, which are
  // digest byte i's own (i = 15) or bytes already spelled out, never one
  // still to be read.
  unsigned char *digest = reinterpret_cast<unsigned char *>(out) + 16;
  MD5Init(context);
  MD5Update(context, input, len);
  MD5Final(digest, context);
  for (size_t i = 0; i < 16; i++) {
    unsigned char byte = digest[i];
    out[2 * i] = HEX[byte >> 4];
    out[2 * i + 1] = HEX[byte & 0x0F];
  }
  out[32] = '\0';
  return 0;
}

int md5_hex(const unsigned char *input, size_t len, char *out) {
  MD5_CTX context;
  return md5_hex(&context, input, len, out);
}
