// SPDX-License-Identifier: MIT
// The peer the codecs are measured against: OpenSSL's MD5 and base64 block
// functions, behind plain functions of our own. They live in a source of
// their own because OpenSSL's headers and md5.h both define MD5_CTX.
#ifndef BENCH_OPENSSL_PEER_H
#define BENCH_OPENSSL_PEER_H

#include <stddef.h>

// peer_md5: writes the 16-byte MD5 digest of the len bytes at in to digest,
// through EVP_Digest. Returns 0, or -1 when OpenSSL reports a failure.
int peer_md5(const unsigned char *in, size_t len, unsigned char digest[16]);

// peer_base64_encode: EVP_EncodeBlock of the n bytes at in; out must hold
// (n + 2) / 3 * 4 + 1 bytes (OpenSSL adds a terminating zero). Returns the
// number of characters written, without the zero.
int peer_base64_encode(const unsigned char *in, size_t n, char *out);

// peer_base64_decode: EVP_DecodeBlock of the n characters at in; out must
// hold (n + 3) / 4 * 3 bytes. Returns the number of bytes written, padding
// included, or -1 for input OpenSSL refuses.
int peer_base64_decode(const char *in, size_t n, unsigned char *out);

#endif
