// SPDX-License-Identifier: MIT
// dorvane: sets and lists the flag driver's per-device flags.
#include <stdio.h>

#include "flag_table.h"
#include "set_request.h"

static void print_usage(void) {
  printf("dorvane set [{\"devname\":\"wl0\",\"flag\":\"10\"},"
         "{\"devname\":\"wl1\",\"flag\":\"11\"}]\n");
  printf("dorvane show\n");
}

// Whether the argument is the word. Compared by hand: strcmp would be one
// more import, bound when the program starts.
static bool is(const char *arg, const char *word) {
  while (*word != '\0' && *arg == *word) {
    arg++;
    word++;
  }
  return *arg == *word;
}

// Exit statuses: 0 when the action happened, 1 when it was refused or failed
// (a message says why), 255 for an unknown sub-command or a missing argument.
static int run(int argc, char **argv) {
  if (argc < 2 || is(argv[1], "-h")) {
    print_usage();
    return 0;
  }
  if (is(argv[1], "show")) {
    // Only the argument right after show is looked at; others are ignored.
    bool json = argc > 2 && is(argv[2], "--json");
    return run_show(json) < 0 ? 1 : 0;
  }
  if (is(argv[1], "set")) {
    if (argc < 3) {
      print_usage();
      return 255;
    }
    printf("%s\n", argv[2]);
    return run_set(argv[2]) < 0 ? 1 : 0;
  }
  return 255;
}

int main(int argc, char **argv) {
  int status = run(argc, argv);
  // Output that never reached its destination is a failure too.
  if (fflush(stdout) != 0 || ferror(stdout))
    return 1;
  return status;
}
