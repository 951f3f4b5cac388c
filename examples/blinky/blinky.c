/* A tiny LED blinker for a Cortex-M0+ target: toggles one GPIO pin forever.
 * The port addresses below are the example board's; adjust them for yours. */
#include <stdint.h>

#define GPIO_PORT_BASE 0x50004000u
#define GPIO_MODE (*(volatile uint32_t *)(GPIO_PORT_BASE + 0x00u))
#define GPIO_DOUT (*(volatile uint32_t *)(GPIO_PORT_BASE + 0x08u))
#define LED_PIN 2u

extern uint32_t __stack_top;
extern uint32_t __data_load, __data_start, __data_end, __bss_start, __bss_end;

static volatile uint32_t blink_count;
static uint32_t delay_loops = 200000u;

static void delay(uint32_t loops) {
  while (loops-- != 0u) {
    __asm__ volatile("nop");
  }
}

int main(void) {
  GPIO_MODE = (GPIO_MODE & ~(3u << (2u * LED_PIN))) | (1u << (2u * LED_PIN));
  for (;;) {
    GPIO_DOUT ^= 1u << LED_PIN;
    blink_count++;
    delay(delay_loops);
  }
}

void Reset_Handler(void) {
  uint32_t *src = &__data_load;
  for (uint32_t *dst = &__data_start; dst < &__data_end;) *dst++ = *src++;
  for (uint32_t *dst = &__bss_start; dst < &__bss_end;) *dst++ = 0u;
  main();
}

void Default_Handler(void) {
  for (;;) {
  }
}

__attribute__((section(".vectors"), used)) static void (*const vectors[16])(void) = {
    (void (*)(void))(&__stack_top),
    Reset_Handler,
    Default_Handler, /* NMI */
    Default_Handler, /* HardFault */
    0, 0, 0, 0, 0, 0, 0,
    Default_Handler, /* SVCall */
    0, 0,
    Default_Handler, /* PendSV */
    Default_Handler, /* SysTick */
};
