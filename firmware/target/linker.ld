/* Memory map of the board image.
 *
 * The image sits in the NOR flash after the first 128 KB, which the firmware
 * leaves alone, and must end where the memory image ("Flash2") starts at
 * 0xC8400000.  It runs in SDRAM from 0xC0000000, below the RAM copy of the
 * memory image at 0xC0400000.  The vector block comes first, so it lands at
 * the start of both.  The reset entry and the code that runs before SDRAM
 * works (.reset, .boot) run in place in the flash, after the part that is
 * copied.
 *
 * A program that outgrows either window fails to link. */

ENTRY(reset_entry)

MEMORY
{
    FLASH (rx)  : ORIGIN = 0xC8020000, LENGTH = 0x003E0000
    SDRAM (rwx) : ORIGIN = 0xC0000000, LENGTH = 0x00400000
}

__heap_size      = 128K;
__svc_stack_size = 16K;
__irq_stack_size = 4K;
__abt_stack_size = 1K;
__und_stack_size = 1K;

/* Separate segments for code and data, so that no loadable segment is
 * writable and executable at once. */
PHDRS
{
    text PT_LOAD FLAGS(5);
    data PT_LOAD FLAGS(6);
    boot PT_LOAD FLAGS(5);
    ram  PT_LOAD FLAGS(6);
}

SECTIONS
{
    /* ---- copied from flash to SDRAM by the runtime start, as one block:
     * ALIGN_WITH_INPUT aligns each section's load address as its run
     * address, so the offset between the two stays the same throughout. */
    .vectors : ALIGN_WITH_INPUT
    {
        __run_start = .;
        KEEP(*(.vectors))
    } > SDRAM AT > FLASH :text

    .text : ALIGN_WITH_INPUT
    {
        *(.text .text.*)
        *(.glue_7 .glue_7t .v4_bx .vfp11_veneer .iplt)
        KEEP(*(.init))
        KEEP(*(.fini))
    } > SDRAM AT > FLASH :text

    .rodata : ALIGN_WITH_INPUT
    {
        *(.rodata .rodata.*)
        *(.rel.iplt)
    } > SDRAM AT > FLASH :text

    .ARM.extab : ALIGN_WITH_INPUT
    {
        *(.ARM.extab .ARM.extab.*)
    } > SDRAM AT > FLASH :text

    .ARM.exidx : ALIGN_WITH_INPUT
    {
        __exidx_start = .;
        *(.ARM.exidx .ARM.exidx.*)
        __exidx_end = .;
    } > SDRAM AT > FLASH :text

    .init_array : ALIGN_WITH_INPUT
    {
        PROVIDE_HIDDEN(__preinit_array_start = .);
        KEEP(*(.preinit_array))
        PROVIDE_HIDDEN(__preinit_array_end = .);
        PROVIDE_HIDDEN(__init_array_start = .);
        KEEP(*(SORT(.init_array.*)))
        KEEP(*(.init_array))
        PROVIDE_HIDDEN(__init_array_end = .);
        PROVIDE_HIDDEN(__fini_array_start = .);
        KEEP(*(SORT(.fini_array.*)))
        KEEP(*(.fini_array))
        PROVIDE_HIDDEN(__fini_array_end = .);
    } > SDRAM AT > FLASH :text

    .data : ALIGN_WITH_INPUT
    {
        *(.data .data.*)
        *(.igot.plt)
        . = ALIGN(4);
        __run_end = .;
    } > SDRAM AT > FLASH :data

    __load_start = LOADADDR(.vectors);

    /* ---- runs in place in flash: the reset entry and runtime start, then
     * the board set-up code that runs before SDRAM works */
    .reset : ALIGN(4)
    {
        KEEP(*(.reset))
    } > FLASH :boot

    .boot : ALIGN(4)
    {
        *(.boot .boot.*)
    } > FLASH :boot

    /* ---- SDRAM only, nothing in the image */
    .bss (NOLOAD) : ALIGN(4)
    {
        __bss_start = .;
        *(.bss .bss.* COMMON)
        . = ALIGN(4);
        __bss_end = .;
    } > SDRAM :ram

    .heap (NOLOAD) : ALIGN(8)
    {
        __heap_start = .;
        . += __heap_size;
        __heap_end = .;
    } > SDRAM :ram

    /* Full-descending stacks: each symbol is the top of its stack. */
    .stacks (NOLOAD) : ALIGN(8)
    {
        . += __svc_stack_size;
        __svc_stack_top = .;
        . += __irq_stack_size;
        __irq_stack_top = .;
        . += __abt_stack_size;
        __abt_stack_top = .;
        . += __und_stack_size;
        __und_stack_top = .;
    } > SDRAM :ram

    .ARM.attributes 0 : { KEEP(*(.ARM.attributes)) }
    /* The build's name (build_name.cpp): in the file, not in the image. */
    .velm5plus.build 0 (INFO) : { KEEP(*(.velm5plus.build)) }
}

ASSERT(__run_start == ORIGIN(SDRAM), "the vector block must run at the start of SDRAM")
ASSERT(__load_start == ORIGIN(FLASH), "the vector block must load at the start of the flash window")
ASSERT(LOADADDR(.data) - ADDR(.data) == __load_start - __run_start,
       "the copied sections must keep one offset between flash and SDRAM")

/* Code in .boot runs before SDRAM works and before the program is copied:
 * a call or a reference from it into anything that lives in SDRAM would
 * fail on the board (a far call would even link, through a veneer). */
NOCROSSREFS_TO(.vectors .boot)
NOCROSSREFS_TO(.text .boot)
NOCROSSREFS_TO(.rodata .boot)
NOCROSSREFS_TO(.init_array .boot)
NOCROSSREFS_TO(.data .boot)
NOCROSSREFS_TO(.bss .boot)
