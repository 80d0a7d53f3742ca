#include "eeprom.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

Eeprom::Eeprom(Machine& m, const std::string& path) : m_(m), rep_(m, "EEPROM")
{
    if (path.empty()) {
        own_.assign(kSize, 0xFF);
        mem_ = own_.data();
        return;
    }
    int fd = open(path.c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot open the EEPROM file " + path + ": " + std::strerror(errno));
    struct stat st {};
    fstat(fd, &st);
    if (static_cast<uint64_t>(st.st_size) < kSize) {
        // What the file does not hold yet is blank.
        std::vector<uint8_t> blank(kSize - st.st_size, 0xFF);
        if (pwrite(fd, blank.data(), blank.size(), st.st_size) != static_cast<ssize_t>(blank.size())) {
            close(fd);
            throw std::runtime_error("cannot write the EEPROM file " + path + ": " + std::strerror(errno));
        }
    }
    void* p = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (p == MAP_FAILED)
        throw std::runtime_error("cannot map the EEPROM file " + path + ": " + std::strerror(errno));
    mem_ = static_cast<uint8_t*>(p);
    mapped_ = true;
}

Eeprom::~Eeprom()
{
    if (busy_)
        m_.cancel(cycle_event_);
    if (mapped_)
        munmap(mem_, kSize);
}

void Eeprom::bus_start()
{
    if (busy_)
        return;  // the write cycle runs on whatever the bus does
    // Only a stop starts a write cycle: a start in the middle of a write
    // drops the bytes loaded so far.
    if (state_ == State::Data && loaded_)
        rep_.once("a start before the stop dropped the data bytes of a write (only a stop starts "
                  "the write cycle)");
    if (state_ != State::Read)
        loaded_ = 0;
    state_ = State::Idle;
}

void Eeprom::bus_stop()
{
    if (busy_)
        return;
    if (state_ == State::Data && loaded_) {
        busy_ = true;
        ++cycles_;
        cycle_event_ = m_.schedule_in(write_cycle, [this] { finish_cycle(); });
    } else {
        loaded_ = 0;
    }
    state_ = State::Idle;
}

void Eeprom::finish_cycle()
{
    for (uint32_t i = 0; i < kPage; ++i)
        if ((loaded_ & (1u << i)) && !worn_.count(page_base_ + i))
            mem_[page_base_ + i] = page_[i];
    loaded_ = 0;
    busy_ = false;
}

bool Eeprom::address(bool read)
{
    if (!present || busy_)
        return false;  // inside the write cycle the device does not answer
    state_ = read ? State::Read : State::AddressHigh;
    return true;
}

bool Eeprom::write(uint8_t byte)
{
    switch (state_) {
    case State::AddressHigh:
        high_ = byte;
        state_ = State::AddressLow;
        return true;
    case State::AddressLow:
        counter_ = static_cast<uint16_t>(((high_ << 8) | byte) & (kSize - 1));
        page_base_ = counter_ & ~(kPage - 1);
        page_offset_ = counter_ & (kPage - 1);
        loaded_ = 0;
        state_ = State::Data;
        return true;
    case State::Data:
        page_[page_offset_] = byte;
        loaded_ |= 1u << page_offset_;
        page_offset_ = (page_offset_ + 1) & (kPage - 1);
        // The counter follows the page roll-over.
        counter_ = static_cast<uint16_t>(page_base_ + page_offset_);
        return true;
    default:
        return false;
    }
}

uint8_t Eeprom::read(bool)
{
    if (state_ != State::Read)
        return 0xFF;
    uint8_t v = mem_[counter_];
    counter_ = static_cast<uint16_t>((counter_ + 1) & (kSize - 1));
    return v;
}

}  // namespace sim
