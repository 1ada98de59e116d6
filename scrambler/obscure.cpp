// SPDX-License-Identifier: MIT
// obscure: scrambles a text into an envelope, or with -d turns an envelope
// back into the text (with -c only when its key shows it intact); with -i
// the text or the envelope comes from standard input.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "envelope.h"

namespace {

// Longest text -i takes, counted after its one final newline is removed.
const size_t INPUT_MAX = 1 << 20;

// Longest envelope -i takes with -d or -c: that of the longest text, so that
// every envelope -i writes, -i reads back. The text's 1 MiB are 1,398,104
// inner characters, 1,398,110 bytes with the key, and the envelope encodes
// those in 1,864,148 characters.
const size_t ENVELOPE_INPUT_MAX =
    ((INPUT_MAX + 2) / 3 * 4 + ENVELOPE_KEY_LEN + 2) / 3 * 4;
static_assert(ENVELOPE_INPUT_MAX == 1864148, "the longest text's envelope");

// read_input: reads standard input to its end into a buffer on the heap,
// which grows as the input comes, but reads at most limit + 2 bytes: the
// longest input, a newline and one byte more, which is enough to know that
// the input is too long. Returns the input less one final newline,
// zero-terminated, for the caller to free. Returns NULL for a read error, a
// zero byte in the input or an input longer than limit, and also when
// memory runs out, which sets *no_memory (false on entry); nothing is left
// allocated then.
char *read_input(size_t limit, bool *no_memory) {
  const size_t most = limit + 2;
  char *buf = NULL;
  size_t len = 0, size = 0;
  for (;;) {
    if (len == size) {
      if (size == most)
        break;
      // Doubled, but never past `most`: the buffer being left and the new
      // one together stay within about twice the limit.
      size = 2 * size + 4096 < most ? 2 * size + 4096 : most;
      // One spare byte for the terminating zero. Moved by hand rather than
      // with realloc: on musl every function a program imports is bound
      // before main, and realloc would be imported for this alone.
      char *grown = static_cast<char *>(malloc(size + 1));
      if (grown == NULL) {
        *no_memory = true;
        break;
      }
      if (buf != NULL) {
        memcpy(grown, buf, len);
        free(buf);
      }
      buf = grown;
    }
    ssize_t got = read(0, buf + len, size - len);
    if (got <= 0) {
      if (got == 0) {
        if (len > 0 && buf[len - 1] == '\n')
          len--;
        buf[len] = '\0';
        // A text cannot hold a zero byte, here as on the command line.
        if (len <= limit && strlen(buf) == len)
          return buf;
      }
      break;
    }
    len += static_cast<size_t>(got);
  }
  free(buf);
  return NULL;
}

// Exit statuses: 0 when a result was printed, 1 when none was (a bad command
// line or input, an envelope too short to hold its key, with -c a damaged
// envelope, memory exhausted).
int run(int argc, char **argv) {
  bool decode = false, check = false, from_input = false, bad = false;
  int i = 1;
  // Options end at the first argument that is not '-' followed by more, so
  // a lone "-" is a text and options after the text are not options; or at
  // "--", so that a text beginning with '-' can be given after it. An
  // unknown option is only noted, so that a -h after it still wins.
  for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
    // The letter of a one-letter option; longer arguments are unknown.
    char option = argv[i][2] == '\0' ? argv[i][1] : '\0';
    if (option == '-') {
      i++;
      break;
    }
    switch (option) {
    case 'd':
      decode = true;
      break;
    case 'c':
      decode = check = true;
      break;
    case 'i':
      from_input = true;
      break;
    case 'h':
      puts("usage: obscure [-h] [-d | -c] [-i | [--] text]");
      return 0;
    default:
      bad = true;
    }
  }
  const char *text = i < argc ? argv[i] : NULL;
  char *input = NULL;
  if (from_input && !bad) {
    // With -i no operand may follow the options: standard input is then
    // left unread.
    bool no_memory = false;
    if (text == NULL) {
      input = read_input(decode ? ENVELOPE_INPUT_MAX : INPUT_MAX, &no_memory);
      if (no_memory)
        return 1;
    }
    text = input;
  }
  int result = ENVELOPE_TOO_SHORT; // no text: "input error"
  if (text != NULL && !bad) {
    // Surplus arguments are reported, but the first text is still processed.
    if (!from_input && i + 1 < argc)
      puts("input error");
    result = decode ? envelope_unpack(text, check) : envelope_encode(text);
    free(input);
  }
  const char *message = result == ENVELOPE_TOO_SHORT ? "input error"
                        : result == ENVELOPE_DAMAGED ? "damaged envelope"
                                                     : NULL;
  if (message != NULL)
    puts(message);
  return result < 0 ? 1 : 0;
}

} // namespace

int main(int argc, char **argv) {
  int status = run(argc, argv);
  // Output that never reached its destination is a failure too.
  if (fflush(stdout) != 0 || ferror(stdout))
    return 1;
  return status;
}
