// SPDX-License-Identifier: MIT
// OpenSSL behind the peer functions. See openssl_peer.h for the contracts.
#include "openssl_peer.h"

#include <openssl/evp.h>

int peer_md5(const unsigned char *in, size_t len, unsigned char digest[16]) {
  unsigned int size = 0;
  if (EVP_Digest(in, len, digest, &size, EVP_md5(), NULL) != 1 || size != 16)
    return -1;
  return 0;
}

int peer_base64_encode(const unsigned char *in, size_t n, char *out) {
  return EVP_EncodeBlock(reinterpret_cast<unsigned char *>(out), in,
                         static_cast<int>(n));
}

int peer_base64_decode(const char *in, size_t n, unsigned char *out) {
  return EVP_DecodeBlock(out, reinterpret_cast<const unsigned char *>(in),
                         static_cast<int>(n));
}
