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
  unsigned char *bytes;   // TEXT_SIZE pseudo-random bytes
  char *encoded;          // their base64 form, base64_encoded_size(TEXT_SIZE)
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

void bm_encode_ours(benchmark::State &state, const Inputs *in) {
  char *out = static_cast<char *>(malloc(in->encoded_len + 1));
  int n = 0;
  for (auto _ : state) {
    n = base64_encode(in->bytes, TEXT_SIZE, out);
    benchmark::DoNotOptimize(out);
  }
  if (static_cast<size_t>(n) != in->encoded_len ||
      memcmp(out, in->encoded, in->encoded_len) != 0)
    state.SkipWithError("encoding differs from OpenSSL's");
  free(out);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * TEXT_SIZE);
}

void bm_encode_openssl(benchmark::State &state, const Inputs *in) {
  char *out = static_cast<char *>(malloc(in->encoded_len + 1));
  int n = 0;
  for (auto _ : state) {
    n = peer_base64_encode(in->bytes, TEXT_SIZE, out);
    benchmark::DoNotOptimize(out);
  }
  if (static_cast<size_t>(n) != in->encoded_len ||
      memcmp(out, in->encoded, in->encoded_len) != 0)
    state.SkipWithError("OpenSSL's encoding changed between runs");
  free(out);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * TEXT_SIZE);
}

// Both decoders take TEXT_SIZE characters of clean base64, a whole number
// of groups, so the strict peer accepts them and both write the same bytes.
void bm_decode_ours(benchmark::State &state, const Inputs *in) {
  unsigned char *out =
      static_cast<unsigned char *>(malloc(base64_decoded_size(TEXT_SIZE)));
  int n = 0;
  for (auto _ : state) {
    n = base64_decode(in->encoded, TEXT_SIZE, out);
    benchmark::DoNotOptimize(out);
  }
  if (static_cast<size_t>(n) != in->decoded_len ||
      memcmp(out, in->decoded, in->decoded_len) != 0)
    state.SkipWithError("decoding differs from OpenSSL's");
  free(out);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * TEXT_SIZE);
}

void bm_decode_openssl(benchmark::State &state, const Inputs *in) {
  unsigned char *out =
      static_cast<unsigned char *>(malloc(base64_decoded_size(TEXT_SIZE)));
  int n = 0;
  for (auto _ : state) {
    n = peer_base64_decode(in->encoded, TEXT_SIZE, out);
    benchmark::DoNotOptimize(out);
  }
  if (static_cast<size_t>(n) != in->decoded_len ||
      memcmp(out, in->decoded, in->decoded_len) != 0)
    state.SkipWithError("OpenSSL's decoding changed between runs");
  free(out);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * TEXT_SIZE);
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
  benchmark::RegisterBenchmark("encode/ours", bm_encode_ours, &in);
  benchmark::RegisterBenchmark("encode/openssl", bm_encode_openssl, &in);
  benchmark::RegisterBenchmark("decode/ours", bm_decode_ours, &in);
  benchmark::RegisterBenchmark("decode/openssl", bm_decode_openssl, &in);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  free(in.bytes);
  free(in.encoded);
  free(in.decoded);
  return 0;
}
