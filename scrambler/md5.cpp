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
    MD5Transform(context->state, context->buffer);
    for (i = part; len - i >= 64; i += 64)
      MD5Transform(context->state, &input[i]);
    index = 0;
  }
  memcpy(&context->buffer[index], &input[i], len - i);
}

void MD5Final(unsigned char digest[16], MD5_CTX *context) {
  unsigned char bits[8];
  store_le32(bits, context->count[0]);
  store_le32(bits + 4, context->count[1]);
  size_t index = (context->count[0] >> 3) & 0x3F;
  MD5Update(context, PADDING, index < 56 ? 56 - index : 120 - index);
  MD5Update(context, bits, 8);
  for (int i = 0; i < 4; i++)
    store_le32(digest + 4 * i, context->state[i]);
  static_assert(sizeof(MD5_CTX) % 4 == 0, "the context wipes as whole words");
  wipe_words(context, sizeof *context / 4);
}

// The four auxiliary functions in forms equal to the RFC's but with shorter
// dependency chains: F and G select bits with one AND instead of two, I
// reads as the RFC writes it.
#define F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define H(x, y, z) ((x) ^ (y) ^ (z))
#define I(x, y, z) ((y) ^ ((x) | ~(z)))

// One step: a = b + ((a + f(b, c, d) + x + t) <<< s).
#define STEP(f, a, b, c, d, x, s, t)                                          \
  do {                                                                        \
    (a) += f((b), (c), (d)) + (x) + static_cast<uint32_t>(t);                 \
    (a) = ((a) << (s)) | ((a) >> (32 - (s)));                                 \
    (a) += (b);                                                               \
  } while (0)

void MD5Transform(uint32_t state[4], const unsigned char block[64]) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t x[16];
  for (int i = 0; i < 16; i++)
    x[i] = load_le32(block + 4 * i);

  // Round 1
  STEP(F, a, b, c, d, x[0], 7, 0xd76aa478);
  STEP(F, d, a, b, c, x[1], 12, 0xe8c7b756);
  STEP(F, c, d, a, b, x[2], 17, 0x242070db);
  STEP(F, b, c, d, a, x[3], 22, 0xc1bdceee);
  STEP(F, a, b, c, d, x[4], 7, 0xf57c0faf);
  STEP(F, d, a, b, c, x[5], 12, 0x4787c62a);
  STEP(F, c, d, a, b, x[6], 17, 0xa8304613);
  STEP(F, b, c, d, a, x[7], 22, 0xfd469501);
  STEP(F, a, b, c, d, x[8], 7, 0x698098d8);
  STEP(F, d, a, b, c, x[9], 12, 0x8b44f7af);
  STEP(F, c, d, a, b, x[10], 17, 0xffff5bb1);
  STEP(F, b, c, d, a, x[11], 22, 0x895cd7be);
  STEP(F, a, b, c, d, x[12], 7, 0x6b901122);
  STEP(F, d, a, b, c, x[13], 12, 0xfd987193);
  STEP(F, c, d, a, b, x[14], 17, 0xa679438e);
  STEP(F, b, c, d, a, x[15], 22, 0x49b40821);

  // Round 2
  STEP(G, a, b, c, d, x[1], 5, 0xf61e2562);
  STEP(G, d, a, b, c, x[6], 9, 0xc040b340);
  STEP(G, c, d, a, b, x[11], 14, 0x265e5a51);
  STEP(G, b, c, d, a, x[0], 20, 0xe9b6c7aa);
  STEP(G, a, b, c, d, x[5], 5, 0xd62f105d);
  STEP(G, d, a, b, c, x[10], 9, 0x02441453);
  STEP(G, c, d, a, b, x[15], 14, 0xd8a1e681);
  STEP(G, b, c, d, a, x[4], 20, 0xe7d3fbc8);
  STEP(G, a, b, c, d, x[9], 5, 0x21e1cde6);
  STEP(G, d, a, b, c, x[14], 9, 0xc33707d6);
  STEP(G, c, d, a, b, x[3], 14, 0xf4d50d87);
  STEP(G, b, c, d, a, x[8], 20, 0x455a14ed);
  STEP(G, a, b, c, d, x[13], 5, 0xa9e3e905);
  STEP(G, d, a, b, c, x[2], 9, 0xfcefa3f8);
  STEP(G, c, d, a, b, x[7], 14, 0x676f02d9);
  STEP(G, b, c, d, a, x[12], 20, 0x8d2a4c8a);

  // Round 3
  STEP(H, a, b, c, d, x[5], 4, 0xfffa3942);
  STEP(H, d, a, b, c, x[8], 11, 0x8771f681);
  STEP(H, c, d, a, b, x[11], 16, 0x6d9d6122);
  STEP(H, b, c, d, a, x[14], 23, 0xfde5380c);
  STEP(H, a, b, c, d, x[1], 4, 0xa4beea44);
  STEP(H, d, a, b, c, x[4], 11, 0x4bdecfa9);
  STEP(H, c, d, a, b, x[7], 16, 0xf6bb4b60);
  STEP(H, b, c, d, a, x[10], 23, 0xbebfbc70);
  STEP(H, a, b, c, d, x[13], 4, 0x289b7ec6);
  STEP(H, d, a, b, c, x[0], 11, 0xeaa127fa);
  STEP(H, c, d, a, b, x[3], 16, 0xd4ef3085);
  STEP(H, b, c, d, a, x[6], 23, 0x04881d05);
  STEP(H, a, b, c, d, x[9], 4, 0xd9d4d039);
  STEP(H, d, a, b, c, x[12], 11, 0xe6db99e5);
  STEP(H, c, d, a, b, x[15], 16, 0x1fa27cf8);
  STEP(H, b, c, d, a, x[2], 23, 0xc4ac5665);

  // Round 4
  STEP(I, a, b, c, d, x[0], 6, 0xf4292244);
  STEP(I, d, a, b, c, x[7], 10, 0x432aff97);
  STEP(I, c, d, a, b, x[14], 15, 0xab9423a7);
  STEP(I, b, c, d, a, x[5], 21, 0xfc93a039);
  STEP(I, a, b, c, d, x[12], 6, 0x655b59c3);
  STEP(I, d, a, b, c, x[3], 10, 0x8f0ccc92);
  STEP(I, c, d, a, b, x[10], 15, 0xffeff47d);
  STEP(I, b, c, d, a, x[1], 21, 0x85845dd1);
  STEP(I, a, b, c, d, x[8], 6, 0x6fa87e4f);
  STEP(I, d, a, b, c, x[15], 10, 0xfe2ce6e0);
  STEP(I, c, d, a, b, x[6], 15, 0xa3014314);
  STEP(I, b, c, d, a, x[13], 21, 0x4e0811a1);
  STEP(I, a, b, c, d, x[4], 6, 0xf7537e82);
  STEP(I, d, a, b, c, x[11], 10, 0xbd3af235);
  STEP(I, c, d, a, b, x[2], 15, 0x2ad7d2bb);
  STEP(I, b, c, d, a, x[9], 21, 0xeb86d391);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  // The block may be secret input; its decoded copy must not outlive us.
  wipe_words(x, 16);
}

#undef F
#undef G
#undef H
#undef I
#undef STEP

int md5_hex(const unsigned char *input, size_t len, char *out) {
  static const char HEX[] = "0123456789abcdef";
  MD5_CTX context;
  unsigned char digest[16];
  MD5Init(&context);
  MD5Update(&context, input, len);
  MD5Final(digest, &context);
  for (int i = 0; i < 16; i++) {
    out[2 * i] = HEX[digest[i] >> 4];
    out[2 * i + 1] = HEX[digest[i] & 0x0F];
  }
  out[32] = '\0';
  return 0;
}
