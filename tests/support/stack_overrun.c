// SPDX-License-Identifier: MIT
/*
 * stack_overrun LENGTH: writes LENGTH bytes of 'A' into a 16-byte array on
 * the stack, then prints "wrote LENGTH bytes" and exits 0. Built with the
 * stack protector (tests/platform/stack_protector.sh runs it): up to 16
 * bytes it runs to the end; more overrun the array, over the canary, and
 * the C library's protector must end the program before the function
 * returns through its overwritten return address.
 *
 * A program that dies of SIGSEGV or SIGBUS says first where, on standard
 * error ("fault at 0x..."): the protector's own way to stop a program may
 * be such a fault (musl's is a store to address 0), and a return through
 * the overrun's bytes is one at 0x41414141, which only an unprotected
 * build reaches.
 */
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* Reports the faulting address with async-signal-safe calls, then dies of
 * the same signal. */
static void report_fault(int signal_number, siginfo_t *info, void *context) {
  static const char digits[] = "0123456789abcdef";
  char line[32] = "fault at 0x";
  uintptr_t address = (uintptr_t)info->si_addr;
  size_t at = 11;

  (void)context;
  for (int shift = (int)sizeof address * 8 - 4; shift >= 0; shift -= 4)
    line[at++] = digits[(address >> shift) & 0xf];
  line[at++] = '\n';
  (void)write(STDERR_FILENO, line, at);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

/* Writes LENGTH bytes into a 16-byte array, through memset called by way
 * of a volatile pointer, so the compiler can neither see the array's bounds
 * nor leave out a store. */
static __attribute__((noinline)) int fill(size_t length) {
  void *(*volatile set)(void *, int, size_t) = memset;
  char buffer[16];

  set(buffer, 'A', length);
  return buffer[0];
}

int main(int argc, char **argv) {
  struct sigaction action = {0};

  if (argc != 2) {
    printf("usage: stack_overrun LENGTH\n");
    return 2;
  }
  action.sa_sigaction = report_fault;
  action.sa_flags = SA_SIGINFO;
  sigaction(SIGSEGV, &action, NULL);
  sigaction(SIGBUS, &action, NULL);

  size_t length = strtoul(argv[1], NULL, 10);
  fill(length);
  printf("wrote %zu bytes\n", length);
  return 0;
}
