// A board image of the arm tree, read from its ELF file: the bytes that a
// programmer puts into the flash, the build it was made for, and the
// function names that fault reports show.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sim::arm {

class ElfImage {
public:
    // Reads path; on failure returns false with a message in error.
    bool load(const std::string& path, std::string* error);

    // The loadable parts at their load (flash) addresses.
    struct Segment {
        uint32_t address;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Segment>& segments() const { return segments_; }
    // The firmware build the image was linked for ("" when it does not say).
    const std::string& build() const { return build_; }
    // "name+0x1c" for an address inside a function, else "".
    std::string where(uint32_t address) const;
    // The address of a symbol; 0 when there is none.
    uint32_t symbol(const std::string& name) const;

private:
    std::vector<Segment> segments_;
    std::string build_;
    struct Function {
        uint32_t size;
        std::string name;
    };
    std::map<uint32_t, Function> functions_;  // by start address
    std::map<std::string, uint32_t> symbols_;
};

}  // namespace sim::arm
