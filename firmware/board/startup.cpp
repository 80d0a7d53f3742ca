#include "board/startup.h"

#include "board/hw.h"
#include "board/imx21.h"

// Everything here runs from flash before SDRAM works: no calls out of the
// boot section, no library functions, no stack-hungry code.

HW_INLINE void boot_delay(void)
{
    for (volatile int i = 200; i > 0; i = i - 1)
        hw_wait();
}

HW_INLINE void boot_write(uint32_t addr, uint32_t v)
{
    hw_write32(addr, v);
    boot_delay();
}

// Board straps PB5 and PB8 (both high on a board with a 32 kHz reference).
HW_INLINE int boot_straps_32khz(void)
{
    uint32_t b = GPIO_PORT(PORT_B);
    uint32_t pins = (1u << 5) | (1u << 8);
    hw_set32(b + GPIO_GIUS, pins);
    hw_clear32(b + GPIO_DDIR, pins);
    hw_set32(b + GPIO_PUEN, pins);
    return (hw_read32(b + GPIO_SSR) & pins) == pins;
}

HW_INLINE void boot_clocks_32khz(void)
{
    boot_write(CRM_BASE + CRM_MPCTL0, 0x007B1C73);
    boot_write(CRM_BASE + CRM_CSCR, 0x17200607);
}

HW_INLINE void boot_clocks_26mhz(void)
{
    const uint32_t cscr_a = CRM_BASE + CRM_CSCR;
    uint32_t cscr = hw_read32(cscr_a);
    if ((cscr & 0x00030010) != 0x00030010) {
        // Bring the oscillator's gain field down before switching over.
        uint32_t osc = hw_read32(CRM_BASE + CRM_OSC26MCTL);
        uint32_t field = (osc >> 8) & 0x3F;
        if (cscr & 0x00030000) {
            while (field > 0) {
                --field;
                boot_write(CRM_BASE + CRM_OSC26MCTL, (osc & ~0x3F00u) | (field << 8));
            }
        } else {
            field = field > 4 ? field - 4 : 0;
            boot_write(CRM_BASE + CRM_OSC26MCTL, (osc & ~0x3F00u) | (field << 8));
        }
    }
    boot_write(CRM_BASE + CRM_MPCTL0, 0x80331C23);
    boot_write(CRM_BASE + CRM_SPCTL0, 0x800C1407);
    cscr = hw_read32(cscr_a);
    cscr = (cscr & ~0x3C00u) | 0x400;
    boot_write(cscr_a, cscr);
    cscr &= ~0xE0000000u;
    boot_write(cscr_a, cscr);
    cscr |= 0x00030010;
    boot_write(cscr_a, cscr);
    cscr |= 0x00600000;  // restart both PLLs
    boot_write(cscr_a, cscr);
    while (!(hw_read32(CRM_BASE + CRM_MPCTL1) & CRM_PLL_LOCKED) ||
           !(hw_read32(CRM_BASE + CRM_SPCTL1) & CRM_PLL_LOCKED))
        hw_wait();
    boot_write(cscr_a, 0x17030613);
}

HW_INLINE void boot_sdram(void)
{
    const uint32_t ctl = SDRAMC_BASE + SDRAMC_SDCTL0;
    boot_write(ctl, 0x92120300);  // precharge all
    hw_read32(0xC0200000);
    boot_delay();
    boot_write(ctl, 0xA2120300);  // auto-refresh
    for (int i = 0; i < 8; ++i)
        hw_read32(SDRAM_BASE);
    boot_delay();
    boot_write(ctl, 0xB2120300);  // load mode register; the address carries the mode
    hw_read32(0xC0119800);
    boot_delay();
    boot_write(ctl, 0x8212F339);  // normal operation
}

// Section descriptors: full access, domain 0.
#define MMU_SECTION 0x00000C12u
#define MMU_COARSE 0x00000011u
#define MMU_SMALL_PAGE 0x00000FF2u
#define MMU_CB 0x0000000Cu

HW_INLINE void boot_mmu(void)
{
    volatile uint32_t* l1 = (volatile uint32_t*)hw_ptr(MMU_L1_TABLE);
    volatile uint32_t* l2 = (volatile uint32_t*)hw_ptr(MMU_L2_TABLE);
    for (uint32_t mb = 0; mb < 4096; ++mb) {
        uint32_t addr = mb << 20;
        uint32_t d = addr | MMU_SECTION;
        if (addr >= SDRAM_BASE && addr < SDRAM_BASE + 0x3E00000u)
            d |= MMU_CB;
        l1[mb] = d;
    }
    // The frame-buffer megabyte by small pages: cached where the picture is,
    // not where the translation tables are.
    l1[SDRAM_FRAMEBUFFER >> 20] = MMU_L2_TABLE | MMU_COARSE;
    for (uint32_t page = 0; page < 256; ++page) {
        uint32_t addr = SDRAM_FRAMEBUFFER + (page << 12);
        uint32_t d = addr | MMU_SMALL_PAGE;
        if ((page << 12) < 0xFB000u)
            d |= MMU_CB;
        l2[page] = d;
    }
    // The vectors at address 0.
    l1[0] = SDRAM_BASE | MMU_SECTION | MMU_CB;
    hw_mmu_set_table(MMU_L1_TABLE);
    hw_mmu_enable();
}

extern "C" HW_BOOT_CODE void BoardReset(void)
{
    hw_cache_invalidate_all();
    hw_mmu_disable();

    hw_write32(AITC_BASE + AITC_INTENABLEH, 0);
    hw_write32(AITC_BASE + AITC_INTENABLEL, 0);

    boot_write(AIPI1_BASE + AIPI_PSR0, 0x00040304);
    boot_write(AIPI1_BASE + AIPI_PSR1, 0xFFFBFCFB);
    boot_write(AIPI2_BASE + AIPI_PSR0, 0x3FFC0000);
    boot_write(AIPI2_BASE + AIPI_PSR1, 0xFFFFFFFF);

    boot_write(WEIM_BASE + WEIM_CS0U, 0x00008E44);
    boot_write(WEIM_BASE + WEIM_CS0L, 0x00000D01);

    if (boot_straps_32khz())
        boot_clocks_32khz();
    else
        boot_clocks_26mhz();

    boot_write(CRM_BASE + CRM_CCSR, 8);

    boot_sdram();

    // The vector block, so that exceptions find it at address 0.
    volatile const uint32_t* from = (volatile const uint32_t*)hw_ptr(FLASH_FIRMWARE);
    volatile uint32_t* to = (volatile uint32_t*)hw_ptr(SDRAM_BASE);
    for (int i = 0; i < 15; ++i)
        to[i] = from[i];

    boot_mmu();

    // Port A carries the LCD signals: hold them low until the panel has power.
    const uint32_t a = GPIO_PORT(PORT_A);
    hw_write32(a + GPIO_DR, 0);
    hw_write32(a + GPIO_GIUS, 0xFFFFFFE0);
    hw_write32(a + GPIO_OCR1, 0xFFFFFC00);
    hw_write32(a + GPIO_OCR2, 0xFFFFFFFF);
    hw_write32(a + GPIO_DDIR, 0xFFFFFFE0);
    const uint32_t b = GPIO_PORT(PORT_B);
    const uint32_t orient = (1u << 17) | (1u << 18);
    hw_clear32(b + GPIO_DR, orient);
    hw_set32(b + GPIO_GIUS, orient);
    hw_set32(b + GPIO_OCR2, (3u << 2) | (3u << 4));
    hw_set32(b + GPIO_DDIR, orient);
}
