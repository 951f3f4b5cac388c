/* A program for another machine and class: the host's 64-bit executable. */
void _start(void) {
  for (;;) {
  }
}
