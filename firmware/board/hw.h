// Register-access layer: the only place that knows whether the firmware runs
// on the board or on the simulated board.
//
// Every peripheral register access (and every NOR-flash command write or
// status poll) goes through hw_read8/16/32 and hw_write8/16/32.  Every
// busy-wait loop calls hw_wait() once per pass, or, in a pass that found
// nothing to do, hw_idle() or hw_idle_for() instead.  The reset code's cache
// and MMU operations and the processor's IRQ mask live here too.
//
// hw_idle(passes) is the wait of a loop whose pass only looked (read
// registers and memory, changed nothing) and found nothing to do, so that
// every pass after it finds the same until an interrupt or a device changes
// something.  It returns how many passes of the loop it stands for, at least
// 1 and at most passes: a loop that gives up after a number of passes adds
// it to its count.  hw_idle_for(ns) is the same for a loop that waits for a
// time of its own: the passes of the next ns nanoseconds, counted from this
// pass's register reads, find nothing to do either.  On the board each is
// one pass; the simulated board lets the passes that would only look go by
// at once, with time moving as they would have moved it.
//
// hw_pause() goes between the polls of a device that answers every poll
// alike until something in it ends (an EEPROM in its write cycle): the
// simulated board lets time go to its next event before the next poll, the
// board polls again at once.  A loop that pauses bounds itself by time, not
// by its polls.
//
// hw_ptr(addr) and hw_addr(p) turn a board address (SDRAM, flash, an
// address stored in the memory image) into the pointer the firmware reads
// and writes it through, and back.  They are the only place where board
// addresses and pointers meet: on the board they are the same number; on
// the simulated board, a native program of any word size, the board's
// memory lies in a window of the process's address space.
//
// hw_spin(passes) is a short fixed pause: a count-down of passes empty loop
// passes on the board.  The simulated board lets the time those passes take
// on the board go by.
#pragma once

#include <stdint.h>

// No limit on the passes of hw_idle.
#define HW_IDLE_FOREVER 0xFFFFFFFFu

#if defined(__arm__)

#define HW_INLINE static inline __attribute__((always_inline))

HW_INLINE uint8_t hw_read8(uint32_t addr) { return *(volatile uint8_t*)addr; }
HW_INLINE uint16_t hw_read16(uint32_t addr) { return *(volatile uint16_t*)addr; }
HW_INLINE uint32_t hw_read32(uint32_t addr) { return *(volatile uint32_t*)addr; }
HW_INLINE void hw_write8(uint32_t addr, uint8_t v) { *(volatile uint8_t*)addr = v; }
HW_INLINE void hw_write16(uint32_t addr, uint16_t v) { *(volatile uint16_t*)addr = v; }
HW_INLINE void hw_write32(uint32_t addr, uint32_t v) { *(volatile uint32_t*)addr = v; }

HW_INLINE void* hw_ptr(uint32_t addr) { return (void*)addr; }
HW_INLINE uint32_t hw_addr(const void* p) { return (uint32_t)p; }

// Nothing to do on the board: the loop itself spends the time.
HW_INLINE void hw_wait(void) {}
HW_INLINE uint32_t hw_idle(uint32_t passes) { (void)passes; return 1; }
HW_INLINE void hw_idle_for(uint32_t ns) { (void)ns; }
HW_INLINE void hw_pause(void) {}
HW_INLINE void hw_spin(uint32_t passes)
{
    for (volatile uint32_t i = passes; i > 0; i = i - 1) {
    }
}

HW_INLINE void __ARMLIB_disableIRQ(void)
{
    uint32_t cpsr;
    __asm__ volatile("mrs %0, cpsr\n\torr %0, %0, #0x80\n\tmsr cpsr_c, %0" : "=r"(cpsr) : : "memory");
}

HW_INLINE void __ARMLIB_enableIRQ(void)
{
    uint32_t cpsr;
    __asm__ volatile("mrs %0, cpsr\n\tbic %0, %0, #0x80\n\tmsr cpsr_c, %0" : "=r"(cpsr) : : "memory");
}

// Invalidate both caches and the TLB, drain the write buffer.
HW_INLINE void hw_cache_invalidate_all(void)
{
    uint32_t zero = 0;
    __asm__ volatile("mcr p15, 0, %0, c7, c7, 0\n\t"   // invalidate I and D caches
                     "mcr p15, 0, %0, c8, c7, 0\n\t"   // invalidate TLBs
                     "mcr p15, 0, %0, c7, c10, 4"      // drain write buffer
                     : : "r"(zero) : "memory");
}

// Writes every changed line of the data cache out to memory and drains the
// write buffer, so that the LCD controller, which reads SDRAM itself, sees
// what the processor stored.  The lines stay valid in the cache.
HW_INLINE void hw_dcache_clean(void)
{
    uint32_t zero = 0;
    __asm__ volatile("1: mrc p15, 0, APSR_nzcv, c7, c10, 3\n\t"  // test and clean: Z once none is dirty
                     "bne 1b\n\t"
                     "mcr p15, 0, %0, c7, c10, 4"                 // drain write buffer
                     : : "r"(zero) : "memory", "cc");
}

// Control register bits of the ARM926 system control coprocessor.
enum {
    CP15_CTRL_MMU = 1u << 0,
    CP15_CTRL_ALIGN = 1u << 1,
    CP15_CTRL_DCACHE = 1u << 2,
    CP15_CTRL_BIGEND = 1u << 7,
    CP15_CTRL_ICACHE = 1u << 12,
};

HW_INLINE uint32_t hw_cp15_control(void)
{
    uint32_t v;
    __asm__ volatile("mrc p15, 0, %0, c1, c0, 0" : "=r"(v));
    return v;
}

HW_INLINE void hw_cp15_set_control(uint32_t v)
{
    __asm__ volatile("mcr p15, 0, %0, c1, c0, 0\n\tnop\n\tnop" : : "r"(v) : "memory");
}

// MMU, caches, alignment checking and big-endian mode off.
HW_INLINE void hw_mmu_disable(void)
{
    hw_cp15_set_control(hw_cp15_control() &
                        ~(uint32_t)(CP15_CTRL_MMU | CP15_CTRL_ALIGN | CP15_CTRL_DCACHE |
                                    CP15_CTRL_BIGEND | CP15_CTRL_ICACHE));
}

// Translation table base, all domains manager.
HW_INLINE void hw_mmu_set_table(uint32_t ttb)
{
    uint32_t domains = 0xFFFFFFFFu;
    __asm__ volatile("mcr p15, 0, %0, c2, c0, 0\n\t"
                     "mcr p15, 0, %1, c3, c0, 0"
                     : : "r"(ttb), "r"(domains) : "memory");
}

// MMU, caches and alignment checking on.
HW_INLINE void hw_mmu_enable(void)
{
    hw_cp15_set_control(hw_cp15_control() |
                        (CP15_CTRL_MMU | CP15_CTRL_ALIGN | CP15_CTRL_DCACHE | CP15_CTRL_ICACHE));
}

// Code that runs from boot flash before SDRAM is set up.
#define HW_BOOT_CODE __attribute__((section(".boot"), noinline))
// The processor's IRQ entry.
#define HW_IRQ_HANDLER __attribute__((interrupt("IRQ")))

#else  // the simulated board

// Implemented by the simulated board's bus (sim/hw_glue.cpp).
uint32_t hw_bus_read(uint32_t addr, unsigned size);
void hw_bus_write(uint32_t addr, uint32_t value, unsigned size);
void hw_wait_hook(void);
uint32_t hw_idle_hook(uint32_t passes, uint32_t ns);
void hw_pause_hook(void);
void hw_spin_hook(uint32_t passes);
void hw_cpu_irq_mask(int masked);

static inline uint8_t hw_read8(uint32_t addr) { return (uint8_t)hw_bus_read(addr, 1); }
static inline uint16_t hw_read16(uint32_t addr) { return (uint16_t)hw_bus_read(addr, 2); }
static inline uint32_t hw_read32(uint32_t addr) { return hw_bus_read(addr, 4); }
static inline void hw_write8(uint32_t addr, uint8_t v) { hw_bus_write(addr, v, 1); }
static inline void hw_write16(uint32_t addr, uint16_t v) { hw_bus_write(addr, v, 2); }
static inline void hw_write32(uint32_t addr, uint32_t v) { hw_bus_write(addr, v, 4); }

// The board's address space in this process (sim/machine.cpp).
extern uint8_t* hw_memory_window;
static inline void* hw_ptr(uint32_t addr) { return hw_memory_window + addr; }
static inline uint32_t hw_addr(const void* p) { return (uint32_t)((const uint8_t*)p - hw_memory_window); }

// Lets virtual time run; the simulated board delivers interrupts here.
static inline void hw_wait(void) { hw_wait_hook(); }
// Always inlined: the simulated board tells loops apart by where they call
// from.
static inline __attribute__((always_inline)) uint32_t hw_idle(uint32_t passes)
{
    return hw_idle_hook(passes, HW_IDLE_FOREVER);
}
static inline __attribute__((always_inline)) void hw_idle_for(uint32_t ns)
{
    hw_idle_hook(HW_IDLE_FOREVER, ns);
}
static inline void hw_pause(void) { hw_pause_hook(); }
static inline void hw_spin(uint32_t passes) { hw_spin_hook(passes); }

static inline void __ARMLIB_disableIRQ(void) { hw_cpu_irq_mask(1); }
static inline void __ARMLIB_enableIRQ(void) { hw_cpu_irq_mask(0); }

// There is no cache or MMU to manage on the simulated board.
static inline void hw_cache_invalidate_all(void) {}
static inline void hw_dcache_clean(void) {}
static inline void hw_mmu_disable(void) {}
static inline void hw_mmu_set_table(uint32_t) {}
static inline void hw_mmu_enable(void) {}

#define HW_INLINE static inline
#define HW_BOOT_CODE
#define HW_IRQ_HANDLER

#endif

// Read-modify-write of a 32-bit register.
HW_INLINE void hw_set32(uint32_t addr, uint32_t bits) { hw_write32(addr, hw_read32(addr) | bits); }
HW_INLINE void hw_clear32(uint32_t addr, uint32_t bits) { hw_write32(addr, hw_read32(addr) & ~bits); }
HW_INLINE void hw_modify32(uint32_t addr, uint32_t clear, uint32_t set)
{
    hw_write32(addr, (hw_read32(addr) & ~clear) | set);
}
