// Board I/O: LEDs, board straps, orientation and VQ pins, GPIO set-up and
// the delay wrappers.
#pragma once

#include <stdint.h>

extern uint32_t ledState;
extern uint32_t sdLedState;

void InitGPIO(void);
void Led(int on);
void LedToggle(void);
void SD_led(int on);
void SD_ledToggle(void);
void setVQpin(int v);
int getVQpin(void);
void setOrient(int o);
int has_26Mhz(void);
int is_plus_E(void);
int is_plus_N(void);
// Restarts the controller as after power-on: the watchdog is started with
// its shortest time-out and never serviced, so its reset ends this call.
void BoardRestart(void) __attribute__((noreturn));
// The pads' drive strength: normal (0) or high (1).
void setDriveStrength(int high);
void Delay_uSec(uint32_t n);
void Delay(uint32_t ms);

// Card files: opened through the file system's fopen, lighting the SD LED
// while the file is open (a failed open leaves the LED as it was);
// SD_fclose darkens it, then closes.
namespace fat {
struct FatFile;
}
fat::FatFile* SD_fopen(const char* name, int mode);
int16_t SD_fclose(fat::FatFile* f);

// GPIO pin helpers used by the board drivers.
void gpio_make_output(int port, int pin, int level);
void gpio_make_input(int port, int pin, int pullup);
void gpio_write(int port, int pin, int level);
int gpio_read(int port, int pin);
