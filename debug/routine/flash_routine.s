@ The flash routine: the debugger server places it at the start of SRAM and
@ runs it on the core to load flash. It erases pages, programs words and
@ reads each word back, then stops at a BKPT. The words right after the code
@ (label "params") are its parameters, written with it:
@   +0  result: written as 0xFFFFFFFF; 0 when all went well, 1 when an erase
@       failed or a word was not programmed or reads back otherwise
@   +4  address of the first page to erase; on failure, the failing address
@   +8  number of pages to erase
@   +12 page size in bytes
@   +16 address of the first word to program
@   +20 number of words to program
@   +24 the words
@ It changes r0 to r5, r7, lr and the flags, uses no stack, and no instruction
@ beyond ARMv6-M, so that it runs on every Cortex-M core. Rebuild the code
@ table with ./build.sh after a change.
        .syntax unified
        .cpu cortex-m0plus
        .thumb

        .equ    FMC_ADDR, 0x00
        .equ    FMC_DATA, 0x04
        .equ    FMC_CMD, 0x0C
        .equ    FMC_CTRL, 0x10
        .equ    FMC_REG14, 0x14         @ bit 1 enables a main-flash page erase
        .equ    FMC_STATUS, 0x18

        .text
        .global entry
        .thumb_func
entry:
        adr     r7, params
        ldm     r7!, {r0-r3}            @ r1 first page, r2 pages, r3 page size
        ldr     r5, fmc_base
erase:
        subs    r2, #1
        bcc     program
        ldr     r0, [r5, #FMC_REG14]
        movs    r4, #2
        orrs    r0, r4
        str     r0, [r5, #FMC_REG14]
        str     r1, [r5, #FMC_ADDR]
        movs    r4, #8                  @ erase one page
        bl      start
        adds    r1, r1, r3
        b       erase

program:
        ldm     r7!, {r1, r2}           @ r1 first word's address, r2 words; r7 the words
next:
        subs    r2, #1
        bcc     done
        str     r1, [r5, #FMC_ADDR]
        ldm     r7!, {r3}
        str     r3, [r5, #FMC_DATA]
        movs    r4, #4                  @ program one word
        bl      start
        ldr     r0, [r1]                @ read back
        cmp     r0, r3
        bne     failed
        adds    r1, #4
        b       next

failed:
        movs    r0, #0x1E               @ clear the error flags
        str     r0, [r5, #FMC_STATUS]
        movs    r0, #1
        b       stop
done:
        movs    r0, #0
stop:
        adr     r7, params
        stm     r7!, {r0, r1}           @ the result, and where it stopped
        bkpt    #0
        b       stop

@ Starts the command in r4 and waits until it has finished; goes to failed
@ when FMC_STATUS then shows an error.
        .thumb_func
start:
        str     r4, [r5, #FMC_CMD]
        movs    r0, #0x14
        str     r0, [r5, #FMC_CTRL]
wait:
        ldr     r0, [r5, #FMC_CTRL]
        lsls    r0, r0, #28             @ bits 3 and 2 both set: finished
        lsrs    r0, r0, #30
        cmp     r0, #3
        bne     wait
        ldr     r0, [r5, #FMC_STATUS]
        ldr     r4, error_mask
        tst     r0, r4
        bne     failed
        bx      lr

        .align  2
fmc_base:
        .word   0x40080000
error_mask:
        .word   0x0002001E
        .global params
params:
