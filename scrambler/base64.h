// SPDX-License-Identifier: MIT
// Base64 codec: standard padded base64 out, lenient decoding in.
//
// Both directions work on counted buffers owned by the caller and write no
// terminating zero, so they can be called on any bytes (a fuzzer included).
#ifndef SCRAMBLER_BASE64_H
#define SCRAMBLER_BASE64_H

#include <stddef.h>

// Largest count either direction accepts: the results are ints, and the
// encoding of this many bytes still fits one.
const size_t BASE64_MAX_INPUT = static_cast<size_t>(1) << 30;

// base64_encoded_size: the exact number of characters base64_encode writes
// for n bytes, (n + 2) / 3 * 4. Example: 3 -> 4, 4 -> 8.
size_t base64_encoded_size(size_t n);

// base64_decoded_size: an upper bound, (n + 3) / 4 * 3, on the bytes
// base64_decode writes for n characters, whatever they are.
size_t base64_decoded_size(size_t n);

// base64_encode: writes the RFC 4648 base64 form of the n bytes at src to
// dst, padded with '=' to a multiple of four, with no line breaks and no
// terminating zero. dst must hold base64_encoded_size(n) characters; n is at
// most BASE64_MAX_INPUT. Returns the number of characters written, always
// base64_encoded_size(n). Example: "abc" -> "YWJj".
int base64_encode(const unsigned char *src, size_t n, char *dst);

// base64_encode_masked: as base64_encode, of the n bytes at src each
// XOR-ed with a mask byte first, byte j with mask[j mod 6]; src itself is
// left as it is. Six bytes are two whole 3-byte groups, so the encoding of
// six bytes followed by this one is the encoding of the six bytes and the
// masked ones together.
// Example: "YWJj" with the mask "f4c012" -> "P2MpWg==".
int base64_encode_masked(const unsigned char *src, size_t n,
                         const unsigned char mask[6], char *dst);

// The two characters of every 12-bit value: with it a 3-byte group takes
// two lookups and two 2-byte stores instead of four of each. Filling one
// costs about what it saves on a few kilobytes, so only inputs from
// BASE64_PAIRS_MIN bytes on use one.
struct Base64Pairs {
  char pair[4096][2];
};
const size_t BASE64_PAIRS_MIN = 4096;

// base64_encode_into: base64_encode_masked, or base64_encode when mask is
// NULL, with a table owned by the caller (8 KiB, which the other two keep on
// their stack): from BASE64_PAIRS_MIN bytes on it is filled and encoded
// through; its contents on entry do not matter. With pairs NULL every input
// is encoded without one, to the same characters.
// Example: "YWJj" with the mask "f4c012" -> "P2MpWg==", whatever pairs is.
int base64_encode_into(const unsigned char *src, size_t n,
                       const unsigned char *mask, char *dst,
                       Base64Pairs *pairs);

// base64_decode: decodes the n characters at src into dst and never fails.
// Characters outside the alphabet (white space, '-', '_', zero bytes, bytes
// above 0x7F) are skipped; the first '=' ends the input; a lone character
// left over at the end is dropped. dst must hold base64_decoded_size(n)
// bytes, and no more is ever written; n is at most BASE64_MAX_INPUT. Returns
// the number of bytes written, no terminating zero. Example: "YW Jj" -> "abc".
int base64_decode(const char *src, size_t n, unsigned char *dst);

#endif
