#include "tempsensor.h"

#include <cmath>
#include <string>

namespace sim {

void TempSensor::set_celsius(double c)
{
    // The 13-bit count covers -256 to just under +256 degrees.
    celsius_ = std::fmax(-256.0, std::fmin(c, 255.9375));
}

uint16_t TempSensor::temperature_word() const
{
    long count = std::lround(celsius_ * 16.0);
    return static_cast<uint16_t>(count & 0x1FFF);
}

void TempSensor::bus_start()
{
    pointer_next_ = false;
    low_next_ = false;
}

bool TempSensor::address(bool read)
{
    if (!present)
        return false;
    pointer_next_ = !read;
    return true;
}

bool TempSensor::write(uint8_t byte)
{
    if (!pointer_next_) {
        rep_.once("temperature sensor: write to a register (its registers are read-only)");
        return false;
    }
    pointer_ = byte;
    pointer_next_ = false;
    return true;
}

uint8_t TempSensor::read(bool)
{
    uint16_t word = 0;
    if (pointer_ == kTemperature)
        word = temperature_word();
    else
        rep_.once("temperature sensor: read of register " + std::to_string(pointer_) + ", which it does not have");
    uint8_t v;
    if (low_next_) {
        v = static_cast<uint8_t>(word);
        pointer_ = static_cast<uint8_t>(pointer_ + 1);
    } else {
        v = static_cast<uint8_t>(word >> 8);
    }
    low_next_ = !low_next_;
    return v;
}

}  // namespace sim
