// Addresses, register offsets and bits of the i.MX21 peripherals and of the
// board's memory map, as the firmware uses them.
#pragma once

#include <stdint.h>

// ---- memory map
#define FLASH_BASE 0xC8000000u
#define FLASH_FIRMWARE 0xC8020000u
#define SDRAM_BASE 0xC0000000u
#define SDRAM_FRAMEBUFFER 0xC3E00000u
#define MMU_L2_TABLE 0xC3EFBC00u
#define MMU_L1_TABLE 0xC3EFC000u

// ---- AIPI peripheral bus bridges
#define AIPI1_BASE 0x10000000u
#define AIPI2_BASE 0x10020000u
#define AIPI_PSR0 0x00
#define AIPI_PSR1 0x04

// ---- WEIM, chip select 0
#define WEIM_BASE 0xDF001000u
#define WEIM_CS0U 0x00
#define WEIM_CS0L 0x04

// ---- SDRAM controller
#define SDRAMC_BASE 0xDF000000u
#define SDRAMC_SDCTL0 0x00

// ---- clock controller
#define CRM_BASE 0x10027000u
#define CRM_CSCR 0x00
#define CRM_MPCTL0 0x04
#define CRM_MPCTL1 0x08
#define CRM_SPCTL0 0x0C
#define CRM_SPCTL1 0x10
#define CRM_OSC26MCTL 0x14
#define CRM_PCDR0 0x18
#define CRM_PCDR1 0x1C
#define CRM_PCCR0 0x20
#define CRM_PCCR1 0x24
#define CRM_CCSR 0x28
#define CRM_PLL_LOCKED (1u << 15)  // in MPCTL1 and SPCTL1
#define CRM_PCCR0_SDHC1 (1u << 9)

// ---- interrupt controller
#define AITC_BASE 0x10040000u
#define AITC_INTENABLEH 0x10
#define AITC_INTENABLEL 0x14
#define AITC_INTTYPEH 0x18
#define AITC_INTTYPEL 0x1C
#define AITC_NIVECSR 0x40

#define IRQ_UART2 19
#define IRQ_UART1 20
#define IRQ_GPT2 25

// ---- general-purpose timers
#define GPT1_BASE 0x10003000u
#define GPT2_BASE 0x10004000u
#define GPT_TCTL 0x00
#define GPT_TPRER 0x04
#define GPT_TCMP 0x08
#define GPT_TCR 0x0C
#define GPT_TCN 0x10
#define GPT_TSTAT 0x14
#define GPT_TCTL_TEN (1u << 0)
#define GPT_TCTL_CLK_PERCLK1 (1u << 1)
#define GPT_TCTL_COMPEN (1u << 4)
#define GPT_TCTL_OM (1u << 9)
#define GPT_TCTL_SWR (1u << 15)
#define GPT_TSTAT_COMP (1u << 0)

// ---- GPIO ports A..F
#define GPIO_BASE 0x10015000u
#define GPIO_PORT(p) (GPIO_BASE + 0x100u * (uint32_t)(p))
#define GPIO_DDIR 0x00
#define GPIO_OCR1 0x04
#define GPIO_OCR2 0x08
#define GPIO_DR 0x1C
#define GPIO_GIUS 0x20
#define GPIO_SSR 0x24
#define GPIO_GPR 0x38
#define GPIO_PUEN 0x40

enum { PORT_A, PORT_B, PORT_C, PORT_D, PORT_E, PORT_F };

// ---- LCD controller
#define LCDC_BASE 0x10021000u

// ---- UARTs
#define UART1_BASE 0x1000A000u
#define UART2_BASE 0x1000B000u
#define UART_URXD 0x00
#define UART_UTXD 0x40
#define UART_UCR1 0x80
#define UART_UCR2 0x84
#define UART_UCR3 0x88
#define UART_UCR4 0x8C
#define UART_UFCR 0x90
#define UART_USR1 0x94
#define UART_USR2 0x98
#define UART_UBIR 0xA4
#define UART_UBMR 0xA8
#define UART_URXD_ERR (1u << 14)
#define UART_UCR1_UARTEN (1u << 0)
#define UART_UCR1_RRDYEN (1u << 9)
#define UART_UCR1_TRDYEN (1u << 13)
#define UART_UCR4_TCEN (1u << 3)
#define UART_USR1_RRDY (1u << 9)
#define UART_USR1_TRDY (1u << 13)
#define UART_USR2_TXDC (1u << 3)
#define CRM_PCCR0_UART1 (1u << 0)
#define CRM_PCCR0_UART2 (1u << 1)
