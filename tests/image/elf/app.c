/* The program behind the ELF fixtures: a vector table and a loop, and, as
 * the build asks, initialised data (loaded in flash, run in SRAM) with
 * zeroed data beside it, a table far from the code, or option words. */
#include <stdint.h>

extern uint32_t __stack_top;

#ifdef WITH_DATA
extern uint32_t __data_load, __data_start, __data_end, __bss_start, __bss_end;
static uint32_t counter = 0x12345678u;
uint32_t zeroed[8];
#endif

#ifdef WITH_TABLE
__attribute__((section(".table"), used)) static const uint32_t table[4] = {
    0x11111111u, 0x22222222u, 0x33333333u, 0x44444444u};
#endif

#ifdef WITH_OPTIONS
/* PP0 to PP3 (pages 0 to 31 write-protected), then the protection word with
 * CP1 (the option bytes write-protected) enabled. */
__attribute__((section(".options"), used)) static const uint32_t options[5] = {
    0xFFFFFFFEu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x7FFFFFFFu, 0xFFFFFFFDu};
#endif

void Reset_Handler(void) {
#ifdef WITH_DATA
  uint32_t *src = &__data_load;
  for (uint32_t *dst = &__data_start; dst < &__data_end;) *dst++ = *src++;
  for (uint32_t *dst = &__bss_start; dst < &__bss_end;) *dst++ = 0u;
#endif
  for (;;) {
#ifdef WITH_DATA
    counter++;
    zeroed[counter & 7u] = counter;
#endif
    __asm__ volatile("nop");
  }
}

__attribute__((section(".vectors"), used)) static void (*const vectors[4])(void) = {
    (void (*)(void))(&__stack_top), Reset_Handler, Reset_Handler, Reset_Handler};
