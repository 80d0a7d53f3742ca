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

// ---- pulse-width modulator (the beeper's volume)
#define PWM_BASE 0x10006000u
#define PWM_PWMC 0x00
#define PWM_PWMS 0x04
#define PWM_PWMP 0x08
#define PWM_PWMC_EN (1u << 4)
#define PWM_PWMC_SWR (1u << 16)

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

// ---- I2C controller
#define I2C_BASE 0x10012000u
#define I2C_IADR 0x00
#define I2C_IFDR 0x04
#define I2C_I2CR 0x08
#define I2C_I2SR 0x0C
#define I2C_I2DR 0x10
#define I2C_I2CR_IEN (1u << 7)
#define I2C_I2CR_MSTA (1u << 5)
#define I2C_I2CR_MTX (1u << 4)
#define I2C_I2CR_TXAK (1u << 3)
#define I2C_I2CR_RSTA (1u << 2)
#define I2C_I2SR_IBB (1u << 5)
#define I2C_I2SR_IIF (1u << 1)
#define I2C_I2SR_RXAK (1u << 0)
#define CRM_PCCR0_I2C (1u << 12)

// ---- configurable SPI port 1 (the SPI flash)
#define CSPI1_BASE 0x1000E000u
#define CSPI_RXDATA 0x00
#define CSPI_TXDATA 0x04
#define CSPI_CONTROLREG 0x08
#define CSPI_INTREG 0x0C
#define CSPI_PERIODREG 0x14
#define CSPI_RESETREG 0x1C
#define CSPI_CONTROL_XCH (1u << 9)
#define CSPI_INTREG_RR (1u << 0)
#define CSPI_FIFO_WORDS 8
#define CRM_PCCR0_CSPI1 (1u << 4)
// CSPI2: the touch converter.
#define CSPI2_BASE 0x1000F000u
#define CSPI_CONTROLREG_TOUCH 0x0081CC07u  // 8-bit words, master, on, PERCLK2/48
#define CRM_PCCR0_CSPI2 0x820u             // the port's clock gates

// ---- SD host controller 1 (the SD card slot)
#define SDHC1_BASE 0x10013000u
#define SDHC_STR_STP_CLK 0x00
#define SDHC_STATUS 0x04
#define SDHC_CLK_RATE 0x08
#define SDHC_CMD_DAT_CONT 0x0C
#define SDHC_RES_TO 0x10
#define SDHC_READ_TO 0x14
#define SDHC_BLK_LEN 0x18
#define SDHC_NOB 0x1C
#define SDHC_INT_CNTR 0x24
#define SDHC_CMD 0x28
#define SDHC_ARGH 0x2C
#define SDHC_ARGL 0x30
#define SDHC_RES_FIFO 0x34
#define SDHC_BUFFER_ACCESS 0x38
#define SDHC_STR_STP_CLK_STOP (1u << 0)
#define SDHC_STR_STP_CLK_START (1u << 1)
#define SDHC_STR_STP_CLK_RESET (1u << 3)
#define SDHC_STATUS_TIME_OUT_READ (1u << 0)
#define SDHC_STATUS_TIME_OUT_RESP (1u << 1)
#define SDHC_STATUS_WRITE_CRC_ERR (1u << 2)
#define SDHC_STATUS_READ_CRC_ERR (1u << 3)
#define SDHC_STATUS_RESP_CRC_ERR (1u << 5)
#define SDHC_STATUS_BUF_WRITE_RDY (1u << 6)
#define SDHC_STATUS_BUF_READ_RDY (1u << 7)
#define SDHC_STATUS_CLK_RUN (1u << 8)
#define SDHC_STATUS_WR_CRC_CODE_SHIFT 9
#define SDHC_STATUS_WR_CRC_CODE (3u << 9)
#define SDHC_STATUS_END_CMD_RESP (1u << 13)
#define SDHC_STATUS_CARD_PRESENT (1u << 15)
#define SDHC_STATUS_ERRORS 0x2Fu  // time-outs and CRC errors
#define SDHC_STATUS_CMD_DONE (SDHC_STATUS_END_CMD_RESP | SDHC_STATUS_RESP_CRC_ERR | SDHC_STATUS_TIME_OUT_RESP)
#define SDHC_CDC_NONE 0x000u
#define SDHC_CDC_R1 0x001u
#define SDHC_CDC_R2 0x002u
#define SDHC_CDC_R3 0x003u
#define SDHC_CDC_R6 0x006u
#define SDHC_CDC_DATA (1u << 3)
#define SDHC_CDC_WRITE (1u << 4)
#define SDHC_CDC_BUSY (1u << 6)
#define SDHC_CDC_INIT (1u << 7)
#define SDHC_CDC_BUS_4BIT (2u << 8)
#define SDHC_INT_CNTR_ALL 0x7Fu
#define SDHC_CLK_RATE_IDENT 0x89u  // identification rate (slow)
#define SDHC_CLK_RATE_FAST 0x01u
#define SYSCTRL_FMCR 0x10027820u
#define SYSCTRL_FMCR_SDHC1 (1u << 0)
// Pad drive strength: sixteen 2-bit fields, one per pad group; 00 normal,
// 01 high (10 and 11 are reserved).
#define SYSCTRL_DSCR1 0x10027824u
#define SYSCTRL_DSCR1_NORMAL 0x00000000u
#define SYSCTRL_DSCR1_HIGH 0x55555555u

// ---- watchdog (16-bit registers)
#define WDOG_BASE 0x10002000u
#define WDOG_WCR 0x00
#define WDOG_WSR 0x02
#define WDOG_WRSR 0x04
#define WDOG_WCR_WDE (1u << 2)
#define WDOG_WCR_SRS (1u << 4)  // written 0: software reset
#define WDOG_WCR_WT_SHIFT 8     // time-out (WT + 1) x 0.5 s
