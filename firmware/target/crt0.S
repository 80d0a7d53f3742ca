@ Reset entry and runtime start of the board image.
@
@ This runs from the boot flash: SDRAM does not work until BoardReset has
@ set it up, and the program is not in SDRAM until it is copied below.

    .syntax unified
    .arm

    .equ    MODE_IRQ, 0x12
    .equ    MODE_SVC, 0x13
    .equ    MODE_ABT, 0x17
    .equ    MODE_UND, 0x1B
    .equ    PSR_F, 0x40
    .equ    PSR_I, 0x80

@ Top of the i.MX21's internal SRAM (0xFFFFE800..0xFFFFFFFF), the only
@ memory that works at reset; 8-byte aligned as the calling standard wants.
@ BoardReset needs only a few words of it.
    .equ    IRAM_STACK_TOP, 0xFFFFFFF8

    .section .reset, "ax", %progbits

    .global reset_entry
    .type   reset_entry, %function
reset_entry:
    msr     cpsr_c, #(MODE_SVC | PSR_I | PSR_F)
    ldr     sp, =IRAM_STACK_TOP
    bl      BoardReset              @ clocks, SDRAM, MMU and caches

    @ A stack in SDRAM for each mode the firmware runs in.  FIQ is not used.
    msr     cpsr_c, #(MODE_IRQ | PSR_I | PSR_F)
    ldr     sp, =__irq_stack_top
    msr     cpsr_c, #(MODE_ABT | PSR_I | PSR_F)
    ldr     sp, =__abt_stack_top
    msr     cpsr_c, #(MODE_UND | PSR_I | PSR_F)
    ldr     sp, =__und_stack_top
    msr     cpsr_c, #(MODE_SVC | PSR_I | PSR_F)
    ldr     sp, =__svc_stack_top

    @ The program (vectors, code, constants, initialised data) from flash
    @ to where it runs.  The linker script keeps it one word-aligned block.
    ldr     r0, =__load_start
    ldr     r1, =__run_start
    ldr     r2, =__run_end
1:  cmp     r1, r2
    ldrlo   r3, [r0], #4
    strlo   r3, [r1], #4
    blo     1b

    @ The data cache is on, so the copied code may still sit in it: write it
    @ out to SDRAM and forget stale instructions before running any of it.
2:  mrc     p15, 0, APSR_nzcv, c7, c14, 3   @ test, clean and invalidate D-cache
    bne     2b
    mov     r0, #0
    mcr     p15, 0, r0, c7, c10, 4  @ drain the write buffer
    mcr     p15, 0, r0, c7, c5, 0   @ invalidate the I-cache

    ldr     r1, =__bss_start
    ldr     r2, =__bss_end
    mov     r3, #0
3:  cmp     r1, r2
    strlo   r3, [r1], #4
    blo     3b

    @ SDRAM is out of a direct branch's reach from here: call by address.
    @ Interrupts stay masked until the firmware's interrupt_init.
    ldr     r0, =__libc_init_array  @ static constructors
    blx     r0
    ldr     r0, =main
    blx     r0
4:  b       4b                      @ main does not return; if it does, stop here
    .size   reset_entry, . - reset_entry

    .ltorg
