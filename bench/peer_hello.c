// SPDX-License-Identifier: MIT
/* The peer of a whole run of the programs: a minimal C program that prints
 * one line. What it executes is what starting and ending any dynamically
 * linked program costs here, so the programs are measured against it. */
#include <stdio.h>

int main(void) {
  printf("one line\n");
  return 0;
}
