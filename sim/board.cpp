#include "board.h"

#include <stdexcept>

namespace sim {

namespace {
Board* the_board = nullptr;

std::vector<RegisterFile::Reg> offsets(std::initializer_list<uint32_t> offs)
{
    std::vector<RegisterFile::Reg> v;
    for (uint32_t o : offs)
        v.push_back({o, 0});
    return v;
}
}  // namespace

Board& Board::create(const BoardOptions& options)
{
    if (the_board)
        throw std::logic_error("one simulated board per process: run each board test in its own process");
    the_board = new Board(options);
    return *the_board;
}

Board& Board::get()
{
    if (!the_board)
        throw std::logic_error("no simulated board yet");
    return *the_board;
}

Board::Board(const BoardOptions& o)
    : machine(Machine::instance()),
      aitc(machine),
      clock(machine),
      gpio(machine),
      gpt1(machine, aitc, 26, "GPT1"),
      gpt2(machine, aitc, 25, "GPT2"),
      lcdc(machine, clock, gpio),
      pwm(machine),
      nor(machine),
      uart1(machine, aitc, 20, "UART1"),
      uart2(machine, aitc, 19, "UART2"),
      i2c(machine, aitc, 39, clock, gpio),
      eeprom(machine, o.eeprom),
      temp_sensor(machine),
      cspi1(machine, clock, gpio, "CSPI1", 1u << 4, Gpio::PORT_D, 29),
      spi_flash(machine),
      cspi2(machine, clock, gpio, "CSPI2", 1u << 5, Gpio::PORT_D, 22),
      touch(
          machine, gpio, [this] { return ResistivePanel::Finger{finger.x, finger.y, finger.down}; },
          [this](int* w, int* h) {
              uint32_t lsr = lcdc.reg(Lcdc::LSR);
              *w = static_cast<int>((lsr >> 20) & 0x3F) * 16;
              *h = static_cast<int>(lsr & 0x3FF);
          }),
      pen_sense(gpio, touch),
      focaltech(
          machine, gpio, [this] { return ResistivePanel::Finger{finger.x, finger.y, finger.down}; }, touch.panel),
      sdhc(machine, aitc, gpio),
      watchdog(machine),
      sysctrl(machine, "SYSCTRL", {{0x20, 0xFFFFFFCB}, {0x24, 0, 0xAAAAAAAA}}),
      weim(machine, "WEIM", offsets({0x00, 0x04, 0x08, 0x0C, 0x10, 0x14, 0x18, 0x1C, 0x20, 0x24, 0x28, 0x2C, 0x30})),
      sdramc(machine, kSdramBase),
      aipi1(machine, "AIPI1", offsets({0x00, 0x04, 0x08})),
      aipi2(machine, "AIPI2", offsets({0x00, 0x04, 0x08})),
      crossbar(machine, "AHB crossbar",
               offsets({0x000, 0x010, 0x100, 0x110, 0x200, 0x210, 0x300, 0x310, 0x400, 0x410})),
      options(o)
{
    machine.speed = o.speed;
    machine.map_ram(kSdramBase, kSdramSize);
    // The firmware sees the flash read-only: a plain store into it is a
    // stray command to the chip.  Programming goes through the flash model.
    machine.map_file(kFlashBase, kFlashSize, o.flash, true, 0xFF);

    machine.attach(0x10040000, 0x1000, &aitc);
    machine.attach(Watchdog::kBase, Watchdog::kSize, &watchdog);
    // The system-control block lies inside the clock window: claimed first.
    machine.attach(0x10027800, 0x100, &sysctrl);
    machine.attach(0x10027000, 0x1000, &clock);
    machine.attach(PenSense::kBase, PenSense::kSize, &pen_sense);
    machine.attach(0x10015000, 0x700, &gpio);
    machine.attach(0x10003000, 0x1000, &gpt1);
    machine.attach(0x10004000, 0x1000, &gpt2);
    machine.attach(Lcdc::kBase, Lcdc::kSize, &lcdc);
    machine.attach(Pwm::kBase, Pwm::kSize, &pwm);
    // PC14 carries GPT1's output whenever the pin is not in GPIO use.
    gpt1.on_output = [this](bool level) { gpio.drive(Gpio::PORT_C, 14, level ? 1 : 0); };
    machine.attach(NorFlash::kBase, NorFlash::kSize, &nor);
    machine.attach(0x1000A000, 0x1000, &uart1);
    machine.attach(0x1000B000, 0x1000, &uart2);
    machine.attach(I2c::kBase, I2c::kSize, &i2c);
    machine.attach(0x1000E000, 0x1000, &cspi1);
    machine.attach(0x1000F000, 0x1000, &cspi2);
    machine.attach(0xDF001000, 0x1000, &weim);
    machine.attach(SdramController::kBase, SdramController::kSize, &sdramc);
    // Accesses to the SDRAM through the bus (rather than as memory) go by
    // its controller.
    machine.attach(kSdramBase, kSdramSize, &sdramc.port);
    machine.attach(0x10000000, 0x1000, &aipi1);
    machine.attach(0x10020000, 0x1000, &aipi2);
    machine.attach(0x1003F000, 0x1000, &crossbar);

    // The module clock enables of the i.MX21: UART1, UART2 and SDHC1 in
    // PCCR0; the watchdog, GPT1, GPT2 and the PWM in PCCR1.  (CSPI1, CSPI2,
    // I2C and the LCD controller look at theirs themselves; the GPIO ports
    // answer from reset on, before anything sets an enable.)
    uart1.clock_gate.connect(clock, ClockController::PCCR0, 1u << 0);
    uart2.clock_gate.connect(clock, ClockController::PCCR0, 1u << 1);
    sdhc.clock_gate.connect(clock, ClockController::PCCR0, 1u << 9);
    watchdog.clock_gate.connect(clock, ClockController::PCCR1, 1u << 24);
    gpt1.clock_gate.connect(clock, ClockController::PCCR1, 1u << 25);
    gpt2.clock_gate.connect(clock, ClockController::PCCR1, 1u << 26);
    pwm.clock_gate.connect(clock, ClockController::PCCR1, 1u << 28);

    i2c.attach(Eeprom::kAddress, &eeprom);
    i2c.attach(TempSensor::kAddress, &temp_sensor);
    i2c.attach(FocalTech::kAddress, &focaltech);
    cspi1.connect(&spi_flash, Gpio::PORT_D, 28);
    cspi2.connect(&touch, Gpio::PORT_D, 21);
    gpio.on_change = [this](int port, int pin, int level) {
        cspi1.pin_changed(port, pin, level);
        cspi2.pin_changed(port, pin, level);
        sdhc.pin_changed(port, pin, level);
        if (port == Gpio::PORT_B && pin == 12)  // panel power
            lcdc.panel_pins_changed();
    };
    gpio.on_use_change = [this](int port) {
        if (port == Gpio::PORT_A)  // the LCD signals
            lcdc.panel_pins_changed();
    };
    machine.attach(Sdhc::kBase, Sdhc::kSize, &sdhc);
    if (!o.sd.empty()) {
        std::string why;
        if (!sdhc.card.open(o.sd, &why))
            throw std::runtime_error(why);
        card_present = true;
    }
    sdhc.watch_switch(&card_present);

    // No card in the slot: the card-detect line (low = card) is pulled high.
    set_straps(o.straps);
}

void Board::set_straps(Straps s)
{
    options.straps = s;
    bool pb5_low = s == Straps::N || s == Straps::Mhz26;
    bool pb8_low = s == Straps::E || s == Straps::Mhz26;
    // A strap that is not fitted leaves the pin to its pull-up.
    gpio.drive(Gpio::PORT_B, 5, pb5_low ? 0 : -1);
    gpio.drive(Gpio::PORT_B, 8, pb8_low ? 0 : -1);
    // Only plus-E boards carry the temperature sensor.
    temp_sensor.present = s == Straps::E;
    touch.use_sx8652(s == Straps::E);
}

bool Board::status_led() const
{
    return gpio.is_gpio_output(Gpio::PORT_B, 20) && gpio.level(Gpio::PORT_B, 20) == 0;
}

bool Board::sd_led() const
{
    return gpio.is_gpio_output(Gpio::PORT_C, 16) && gpio.level(Gpio::PORT_C, 16) == 0;
}

bool Board::external_speaker() const
{
    return gpio.is_gpio_output(Gpio::PORT_F, 7) && gpio.level(Gpio::PORT_F, 7) == 0;
}

bool parse_straps(const std::string& text, Straps* out)
{
    if (text == "plain")
        *out = Straps::Plain;
    else if (text == "E")
        *out = Straps::E;
    else if (text == "N")
        *out = Straps::N;
    else if (text == "26")
        *out = Straps::Mhz26;
    else
        return false;
    return true;
}

}  // namespace sim
