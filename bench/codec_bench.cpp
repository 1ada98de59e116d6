// SPDX-License-Identifier: MIT
// Codec timings on the largest text a command line can carry, each beside
// OpenSSL's counterpart in the same run: MD5, base64 encoding and lenient
// base64 decoding. Every benchmark checks its result after the timed loop,
// so the work cannot be optimised away and a wrong result is never timed.
// bench/run.sh turns the medians into ratios.
#include <benchmark/benchmark.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "base64.h"
#include "md5.h"
#include "openssl_peer.h"

namespace {

const size_t TEXT_SIZE = 128 * 1024;

// Inputs shared by all benchmarks, built once in main.
struct Inputs {
  unsigned char *bytes; // TEXT_SIZE pseudo-random bytes
  char *encoded;        // their base64 form, base64_encoded_size(TEXT_SIZE)
  size_t encoded_len;
  unsigned char *decoded; // what TEXT_SIZE characters of it decode to
  size_t decoded_len;
  unsigned char digest[16]; // OpenSSL's MD5 of bytes
};

// Our MD5 through the RFC interface, as the envelope uses it.
void md5_ours(const unsigned char *in, size_t len, unsigned char digest[16]) {
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, in, len);
  MD5Final(digest, &context);
}

void bm_md5_ours(benchmark::State &state, const Inputs *in) {
  unsigned char digest[16] = {0};
  for (auto _ : state) {
    md5_ours(in->bytes, TEXT_SIZE, digest);
    benchmark::DoNotOptimize(digest);
  }
  if (memcmp(digest, in->digest, 16) != 0)
    state.SkipWithError("digest differs from OpenSSL's");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * TEXT_SIZE);
}

void bm_md5_openssl(benchmark::State &state, const Inputs *in) {
  unsigned char digest[16] = {0};
  int result = 0;
  for (auto _ : state) {
    result |= peer_md5(in->bytes, TEXT_SIZE, digest);
    benchmark::DoNotOptimize(digest);
  }
  if (result != 0 || memcmp(digest, in->digest, 16) != 0)
    state.SkipWithError("OpenSSL's digest changed between runs");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * TEXT_SIZE);
}

// bm_codec: times `codec` on TEXT_SIZE bytes or characters at `input`,
// writing to a buffer of `out_size` bytes, then checks that it wrote exactly
// the `expected_len` bytes at `expected` (the peer's result).
template <typename In, typename Out>
void bm_codec(benchmark::State &state, int (*codec)(const In *, size_t, Out *),
              const In *input, size_t out_size, const void *expected,
              size_t expected_len) {
  Out *out = static_cast<Out *>(malloc(out_size));
  int n = 0;
  for (auto _ : state) {
    n = codec(input, TEXT_SIZE, out);
    benchmark::DoNotOptimize(out);
  }
  if (static_cast<size_t>(n) != expected_len ||
      memcmp(out, expected, expected_len) != 0)
    state.SkipWithError("the result differs from OpenSSL's first one");
  free(out);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * TEXT_SIZE);
}

// Both encoders take the same bytes and must write the same characters.
void bm_encode(benchmark::State &state, const Inputs *in,
               int (*encode)(const unsigned char *, size_t, char *)) {
  bm_codec(state, encode, in->bytes, in->encoded_len + 1, in->encoded,
           in->encoded_len);
}

// Both decoders take TEXT_SIZE characters of clean base64, a whole number
// of groups, so the strict peer accepts them and both write the same bytes.
void bm_decode(benchmark::State &state, const Inputs *in,
               int (*decode)(const char *, size_t, unsigned char *)) {
  bm_codec(state, decode, in->encoded, base64_decoded_size(TEXT_SIZE),
           in->decoded, in->decoded_len);
}

// Fills the inputs: fixed pseudo-random bytes (xorshift32, so every run
// times the same data), and the peer's encoding, decoding and digest of
// them as the reference results. Returns 0, or -1 when memory or the peer
// fails.
int make_inputs(Inputs *in) {
  in->encoded_len = base64_encoded_size(TEXT_SIZE);
  in->bytes = static_cast<unsigned char *>(malloc(TEXT_SIZE));
  in->encoded = static_cast<char *>(malloc(in->encoded_len + 1));
  in->decoded =
      static_cast<unsigned char *>(malloc(base64_decoded_size(TEXT_SIZE)));
  if (in->bytes == NULL || in->encoded == NULL || in->decoded == NULL)
    return -1;
  uint32_t x = 0x9E3779B9;
  for (size_t i = 0; i < TEXT_SIZE; i++) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    in->bytes[i] = static_cast<unsigned char>(x >> 24);
  }
  if (peer_base64_encode(in->bytes, TEXT_SIZE, in->encoded) !=
      static_cast<int>(in->encoded_len))
    return -1;
  int d = peer_base64_decode(in->encoded, TEXT_SIZE, in->decoded);
  if (d < 0)
    return -1;
  in->decoded_len = static_cast<size_t>(d);
  return peer_md5(in->bytes, TEXT_SIZE, in->digest);
}

} // namespace

int main(int argc, char **argv) {
  Inputs in;
  if (make_inputs(&in) != 0) {
    printf("codec_bench: the inputs could not be prepared\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RegisterBenchmark("md5/ours", bm_md5_ours, &in);
  benchmark::RegisterBenchmark("md5/openssl", bm_md5_openssl, &in);
  benchmark::RegisterBenchmark("encode/ours", bm_encode, &in, base64_encode);
  benchmark::RegisterBenchmark("encode/openssl", bm_encode, &in,
                               peer_base64_encode);
  benchmark::RegisterBenchmark("decode/ours", bm_decode, &in, base64_decode);
  benchmark::RegisterBenchmark("decode/openssl", bm_decode, &in,
                               peer_base64_decode);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  free(in.bytes);
  free(in.encoded);
  free(in.decoded);
  return 0;
}
