@ Exception vector table of the board image.
@
@ It sits at the very start of the image: the boot flash runs it in place at
@ 0xC8020000, and the reset handler copies its first 15 words to the start
@ of SDRAM, which the MMU then maps at address 0.  Every entry jumps through
@ a literal in the same block, so the block works at either address.  The
@ word after the block is the firmware version.

    .syntax unified
    .arm
    .section .vectors, "ax", %progbits

    .global vector_table
vector_table:
    ldr     pc, reset_addr
    ldr     pc, undef_addr
    ldr     pc, swi_addr
    ldr     pc, prefetch_abort_addr
    ldr     pc, data_abort_addr
    b       .                       @ reserved: never taken on this core
    ldr     pc, irq_addr
    ldr     pc, fiq_addr

reset_addr:             .word reset_entry
undef_addr:             .word undef_handler
swi_addr:               .word swi_handler
prefetch_abort_addr:    .word prefetch_abort_handler
data_abort_addr:        .word data_abort_handler
irq_addr:               .word irq_handler
fiq_addr:               .word fiq_handler

    .if (. - vector_table) != 0x3C
    .error "the version word must follow the 15-word vector block at offset 0x3C"
    .endif

@ Version 1.5.8: one byte each for major, minor and patch.
    .global firmware_version_word
firmware_version_word:
    .word   0x00010508

@ Exceptions the firmware does not expect stop the processor.  Each has its
@ own loop, so a debugger shows which one it was.  The loops stay in the
@ flash: the reset handler copies only the 15-word block to SDRAM, so they
@ work from the moment the MMU maps the vectors, before the program copy.
    .section .reset, "ax", %progbits
undef_handler:          b undef_handler
swi_handler:            b swi_handler
prefetch_abort_handler: b prefetch_abort_handler
data_abort_handler:     b data_abort_handler
fiq_handler:            b fiq_handler
