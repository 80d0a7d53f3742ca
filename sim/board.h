// The simulated controller board: memory, device models and the far ends
// that a user, a script or a test stands behind.
#pragma once

#include <memory>
#include <string>

#include "devices/aitc.h"
#include "devices/clock.h"
#include "devices/cspi.h"
#include "devices/eeprom.h"
#include "devices/focaltech.h"
#include "devices/gpio.h"
#include "devices/gpt.h"
#include "devices/i2c.h"
#include "devices/lcdc.h"
#include "devices/norflash.h"
#include "devices/pwm.h"
#include "devices/regfile.h"
#include "devices/sdhc.h"
#include "devices/sdramc.h"
#include "devices/spiflash.h"
#include "devices/tempsensor.h"
#include "devices/touch.h"
#include "devices/uart.h"
#include "devices/watchdog.h"
#include "machine.h"

namespace sim {

enum class Straps { Plain, E, N, Mhz26 };

struct BoardOptions {
    std::string flash;   // NOR flash contents, 32 MiB
    std::string eeprom;  // EEPROM contents
    std::string sd;      // SD card image, empty = no card
    Straps straps = Straps::Plain;
    Speed speed = Speed::Realtime;
};

constexpr uint32_t kSdramBase = 0xC0000000;
constexpr uint32_t kSdramSize = 64u << 20;
constexpr uint32_t kFlashBase = 0xC8000000;
constexpr uint32_t kFlashSize = 32u << 20;

class Board {
public:
    // Builds the one board of this process.
    static Board& create(const BoardOptions& options);
    static Board& get();

    Machine& machine;
    Aitc aitc;
    ClockController clock;
    Gpio gpio;
    // GPT1's output drives the beeper on PC14 while that pin is not a GPIO;
    // the PWM's duty on PE5 sets its volume, PF7 (low) the external speaker.
    // The board follows the output through gpt1.on_output: a test that
    // watches the output itself must call the board's handler it replaces.
    Gpt gpt1;
    Gpt gpt2;
    Lcdc lcdc;
    Pwm pwm;
    NorFlash nor;
    Uart uart1;
    Uart uart2;
    // The I2C bus: the configuration EEPROM (0xA0, backed by the EEPROM
    // file), the temperature sensor of plus-E boards (0x3A) and the FocalTech
    // touch controller (0x70, below).
    I2c i2c;
    Eeprom eeprom;
    TempSensor temp_sensor;
    // CSPI1 with the SPI NOR flash, selected by PD28.  The board watches
    // the GPIO pins for chip selects through gpio.on_change: a test that
    // watches pins itself must call the board's handler it replaces.
    Cspi cspi1;
    SpiFlash spi_flash;
    // CSPI2 with the touch converter, selected by PD21; its pen line is
    // PB15.  Plus-E boards (strap E) carry the SX8652, others the TSC2046.
    // The converter reads `finger` through a fixed panel mapping (touch.h).
    Cspi cspi2;
    TouchScreen touch;
    PenSense pen_sense;
    // The FocalTech capacitive touch controller on the I2C bus (0x70), its
    // interrupt line on PB6; it reads `finger` through the same panel
    // mapping (focaltech.h).  Fitted (present) on the capacitive build's
    // board only (wire_board_for_build).
    FocalTech focaltech;
    // SDHC1 with the SD card slot: the card is the --sd image; it is in the
    // slot while card_present is set (PB13 low), powered by PF1 and PF3.
    Sdhc sdhc;
    // The system-control registers inside the clock module's window
    // (0x10027800): FMCR, whose bit 0 routes SDHC1 to its pins, and DSCR1,
    // the pads' drive strength (2-bit fields, 1x reserved).
    // The processor's watchdog: its time-out (or software reset) resets the
    // board through Machine::reset_board.
    Watchdog watchdog;
    RegisterFile sysctrl;
    RegisterFile weim;
    // The SDRAM controller, which the SDRAM obeys: the SDRAM answers only
    // once the controller has taken it through its set-up.
    SdramController sdramc;
    RegisterFile aipi1;
    RegisterFile aipi2;
    RegisterFile crossbar;
    BoardOptions options;

    // A finger on the panel at a screen pixel (from the panel page, /touch
    // or a test); the touch converters read it.
    struct Finger {
        int x = 0, y = 0;
        bool down = false;
    } finger;
    // The SD card switch of the panel page (the card model reads it).
    bool card_present = false;

    // Board pins as a person looking at the board sees them.
    bool status_led() const;  // lit
    bool sd_led() const;
    bool external_speaker() const;  // PF7 drives its enable low
    void set_straps(Straps s);

private:
    explicit Board(const BoardOptions& options);
};

bool parse_straps(const std::string& text, Straps* out);

}  // namespace sim
