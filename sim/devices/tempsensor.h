// The temperature sensor of plus-E boards on the I2C bus (write address
// 0x3A).  A write sets the register pointer; a read returns the 16-bit
// registers from the pointer on, high byte first.  Register 5 holds the
// temperature as a 13-bit two's-complement count of 1/16 degree Celsius.
// On other boards nothing answers the address.
#pragma once

#include "i2c.h"
#include "machine.h"
#include "regfile.h"

#include <cstdint>

namespace sim {

class TempSensor : public I2cDevice {
public:
    static constexpr uint8_t kAddress = 0x3A;
    static constexpr uint8_t kTemperature = 5;

    explicit TempSensor(Machine& m) : rep_(m, "temperature sensor") {}

    void bus_start() override;
    bool address(bool read) override;
    bool write(uint8_t byte) override;
    uint8_t read(bool master_acks) override;

    bool present = false;
    void set_celsius(double c);
    double celsius() const { return celsius_; }
    // Register 5 as the chip shows it.
    uint16_t temperature_word() const;

private:
    AccessReporter rep_;
    double celsius_ = 25.0;
    uint8_t pointer_ = 0;
    bool pointer_next_ = false;  // the next byte written is the pointer
    bool low_next_ = false;      // the next byte read is a register's low byte
};

}  // namespace sim
