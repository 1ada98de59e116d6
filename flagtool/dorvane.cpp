// SPDX-License-Identifier: MIT
// dorvane: sets and lists the flag driver's per-device flags.
#include <stdio.h>
#include <string.h>

#include "flag_table.h"
#include "set_request.h"

static void print_usage(void) {
  printf("dorvane set [{\"devname\":\"wl0\",\"flag\":\"10\"},"
         "{\"devname\":\"wl1\",\"flag\":\"11\"}]\n");
  printf("dorvane show\n");
}

// Exit statuses: 0 when the action happened, 1 when it was refused or failed
// (a message says why), 255 for an unknown sub-command or a missing argument.
static int run(int argc, char **argv) {
  if (argc < 2 || strcmp(argv[1], "-h") == 0) {
    print_usage();
    return 0;
  }
  if (strcmp(argv[1], "show") == 0) {
    // Only the argument right after show is looked at; others are ignored.
    bool json = argc > 2 && strcmp(argv[2], "--json") == 0;
    return run_show(json) < 0 ? 1 : 0;
  }
  if (strcmp(argv[1], "set") == 0) {
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
