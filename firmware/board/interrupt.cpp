#include "board/interrupt.h"

#include "board/hw.h"
#include "board/imx21.h"

isr_t isr_vectors[64];

// An interrupt that nobody claimed stops the processor here.
void default_isr(void)
{
    for (;;)
        hw_idle(HW_IDLE_FOREVER);
}

void interrupt_init(void)
{
    for (int i = 0; i < 64; ++i)
        isr_vectors[i] = default_isr;
    hw_write32(AITC_BASE + AITC_INTENABLEH, 0);
    hw_write32(AITC_BASE + AITC_INTENABLEL, 0);
    __ARMLIB_enableIRQ();
}

void interrupt_set_isr(int n, isr_t handler)
{
    if (n >= 0 && n < 64)
        isr_vectors[n] = handler;
}

void interrupt_enable(int n, int fast)
{
    uint32_t enable = n >= 32 ? AITC_INTENABLEH : AITC_INTENABLEL;
    uint32_t type = n >= 32 ? AITC_INTTYPEH : AITC_INTTYPEL;
    uint32_t bit = 1u << (n & 31);
    hw_set32(AITC_BASE + enable, bit);
    if (fast)
        hw_set32(AITC_BASE + type, bit);
    else
        hw_clear32(AITC_BASE + type, bit);
}

void interrupt_disable(int n)
{
    hw_clear32(AITC_BASE + (n >= 32 ? AITC_INTENABLEH : AITC_INTENABLEL), 1u << (n & 31));
}

extern "C" HW_IRQ_HANDLER void irq_handler(void)
{
    // The upper half of NIVECSR names the highest pending source; with none
    // pending it reads 0xFFFF, which must not index the table.
    uint32_t n = hw_read32(AITC_BASE + AITC_NIVECSR) >> 16;
    if (n < 64)
        isr_vectors[n]();
}
