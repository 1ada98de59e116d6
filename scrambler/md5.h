// SPDX-License-Identifier: MIT
// MD5 message digest as RFC 1321 defines it, with the RFC's incremental
// interface and names, and a lowercase hexadecimal form of a digest.
//
// Every conversion between bytes and 32-bit words is an explicit
// little-endian one, so digests do not depend on the host's byte order.
#ifndef SCRAMBLER_MD5_H
#define SCRAMBLER_MD5_H

#include <stddef.h>
#include <stdint.h>

// Running state of one digest.
struct MD5_CTX {
  uint32_t state[4];        // chaining words A, B, C, D
  uint32_t count[2];        // message length in bits mod 2^64, low word first
  unsigned char buffer[64]; // input not yet hashed: count / 8 mod 64 bytes
  uint32_t words[32];       // the block being hashed, as words, twice over:
                            // work space, wiped after every update
};

// MD5Init: starts a digest: sets the RFC's four initial chaining words and
// a zero bit count.
void MD5Init(MD5_CTX *context);

// MD5Update: adds the len bytes at input to the digest. Whole 64-byte blocks
// are hashed as they complete, first the buffered one, then straight from
// input; the rest stays buffered. May be called any number of times.
void MD5Update(MD5_CTX *context, const unsigned char *input, size_t len);

// MD5Final: pads the message (0x80, zeros up to 56 mod 64, the 64-bit
// little-endian bit count), writes the 16-byte digest to digest and then
// zero-fills the whole context, so no input-derived state is left behind.
// The context must be started again with MD5Init before any reuse.
void MD5Final(unsigned char digest[16], MD5_CTX *context);

// MD5Transform: the RFC 1321 compression of one 64-byte block into state.
// The working copy of the block is wiped before returning.
void MD5Transform(uint32_t state[4], const unsigned char block[64]);

// md5_hex: writes the MD5 digest of the len bytes at input to out as 32
// lowercase hexadecimal digits, two per digest byte in digest order, and a
// terminating zero; out must hold 33 bytes. Returns 0.
// Example: "" -> "d41d8cd98f00b204e9800998ecf8427e".
int md5_hex(const unsigned char *input, size_t len, char *out);

// md5_hex with the caller's context as its work space, in any state on
// entry and wiped on return (as MD5Final leaves it), so that no digest
// state is kept on the stack.
int md5_hex(MD5_CTX *context, const unsigned char *input, size_t len,
            char *out);

#endif
