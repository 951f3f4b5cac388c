@ Programs one flash word through the flash memory controller from the core,
@ then stops at a BKPT: the word 0x600DF00D at 0x00000400, which must be
@ erased beforehand. r0 ends as FMC_STATUS.
        .syntax unified
        .cpu cortex-m0plus
        .thumb

        .section .vectors, "a"
        .word   0x20001000              @ initial stack pointer
        .word   reset + 1               @ reset vector
        .word   halt + 1                @ NMI
        .word   halt + 1                @ HardFault

        .text
        .global reset
        .thumb_func
reset:
        ldr     r1, =0x40080000         @ FMC
        ldr     r2, =0x00000400         @ FMC_ADDR: the word to program
        str     r2, [r1, #0x00]
        ldr     r2, =0x600DF00D         @ FMC_DATA
        str     r2, [r1, #0x04]
        movs    r2, #4                  @ FMC_CMD: program one word
        str     r2, [r1, #0x0C]
        movs    r2, #0x14               @ FMC_CTRL: start
        str     r2, [r1, #0x10]
wait:
        ldr     r2, [r1, #0x10]         @ until FMC_CTRL shows it finished
        movs    r3, #0x0C
        ands    r2, r3
        cmp     r2, #0x0C
        bne     wait
        ldr     r0, [r1, #0x18]         @ FMC_STATUS
        .thumb_func
halt:
        bkpt    #0
        b       halt
        .ltorg
