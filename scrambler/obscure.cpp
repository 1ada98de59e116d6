// obscure: scrambles a text into an envelope, or with -d turns an envelope
// back into the text.
#include <stdio.h>
#include <string.h>

#include "envelope.h"

// Exit statuses: 0 when a result was printed, 1 when none was (a bad command
// line, an envelope too short to hold its key, memory exhausted).
static int run(int argc, char **argv) {
  bool decode = false;
  int i = 1;
  // Options end at the first argument that is not '-' followed by more, so
  // a lone "-" is a text and options after the text are not options; or at
  // "--", so that a text beginning with '-' can be given after it.
  for (; i < argc && argv[i][0] == '-' && argv[i][1] != '\0'; i++) {
    if (strcmp(argv[i], "--") == 0) {
      i++;
      break;
    }
    if (strcmp(argv[i], "-d") != 0) {
      printf("input error\n");
      return 1;
    }
    decode = true;
  }
  if (i >= argc) {
    printf("input error\n");
    return 1;
  }
  // Surplus arguments are reported, but the first text is still processed.
  if (i + 1 < argc)
    printf("input error\n");
  int result = decode ? envelope_decode(argv[i]) : envelope_encode(argv[i]);
  if (result == ENVELOPE_TOO_SHORT)
    printf("input error\n");
  return result < 0 ? 1 : 0;
}

int main(int argc, char **argv) {
  int status = run(argc, argv);
  // Output that never reached its destination is a failure too.
  if (fflush(stdout) != 0 || ferror(stdout))
    return 1;
  return status;
}
