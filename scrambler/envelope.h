// SPDX-License-Identifier: MIT
// The envelope: a text scrambled into a printable form that carries its own
// key. The text is base64-encoded (the inner text); the first six hex digits
// of the inner text's MD5 are the key prefix; the inner text is XOR-ed with
// the key prefix used cyclically; key prefix and masked bytes together are
// base64-encoded again. Nothing is secret: anyone can reverse it.
#ifndef SCRAMBLER_ENVELOPE_H
#define SCRAMBLER_ENVELOPE_H

#include <stddef.h>

enum {
  ENVELOPE_KEY_LEN = 6, // bytes of key prefix in front of the masked text
  // Longest text either direction takes: every size derived from it still
  // fits the int results of the base64 codec.
  ENVELOPE_MAX_TEXT = 1 << 28,
};

// Failure results of envelope_encode, envelope_decode and envelope_unpack.
// Nothing is printed when one is returned, and the buffer taken has been
// freed.
enum {
  ENVELOPE_NO_MEMORY = -1, // the call's buffer could not be allocated (or
                           // the text exceeds ENVELOPE_MAX_TEXT)
  ENVELOPE_TOO_SHORT = -3, // decoding: fewer bytes than a key prefix
  ENVELOPE_DAMAGED = -4,   // checking: the key is not the inner text's
};

// envelope_encode: prints the envelope of the zero-terminated text and a
// newline to standard output. Bytes above 0x7F are taken as they are.
// Returns the envelope's length, or ENVELOPE_NO_MEMORY.
// Example: "abc" -> prints "ZjRjMDEyP2MpWg==", returns 16.
int envelope_encode(const char *text);

// envelope_decode: prints the text held by the zero-terminated envelope, up
// to its first zero byte, and a newline. Decoding is lenient in both base64
// layers and any six bytes in front are taken as the key, so a damaged
// envelope still yields some text. Returns 0; ENVELOPE_TOO_SHORT when the
// envelope decodes to fewer than ENVELOPE_KEY_LEN bytes (nothing printed);
// or ENVELOPE_NO_MEMORY.
// Example: "ZjRjMDEyP2MpWg==" -> prints "abc", returns 0.
int envelope_decode(const char *text);

// envelope_unpack: envelope_decode when check is false. With check, the
// text is printed only when the six key bytes are the first six hex digits
// of the MD5 of the unmasked inner text, the digits the envelope was made
// with; otherwise nothing is printed and ENVELOPE_DAMAGED is returned. The
// outer layer is read as leniently either way, so a correctly made envelope
// that was wrapped or indented still passes the check.
// Example: "ZjRjMDEyP2MpWg==", checked -> prints "abc", returns 0;
// "ZjRjMDEyP2MqWg==" (one character changed) -> ENVELOPE_DAMAGED.
int envelope_unpack(const char *text, bool check);

// xor_mask: XORs the len bytes at buf with key, used cyclically: byte j
// with key[j mod key_len]. A key_len of 0 leaves buf unchanged. Returns 0.
int xor_mask(unsigned char *buf, size_t len, const char *key, size_t key_len);

#endif
