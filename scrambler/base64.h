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

// base64_decode: decodes the n characters at src into dst and never fails.
// Characters outside the alphabet (white space, '-', '_', zero bytes, bytes
// above 0x7F) are skipped; the first '=' ends the input; a lone character
// left over at the end is dropped. dst must hold base64_decoded_size(n)
// bytes, and no more is ever written; n is at most BASE64_MAX_INPUT. Returns
// the number of bytes written, no terminating zero. Example: "YW Jj" -> "abc".
int base64_decode(const char *src, size_t n, unsigned char *dst);

#endif
