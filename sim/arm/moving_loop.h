// Moving loops: small loops of ARM code that step through memory, such as
// the fills and copies behind screen clears, rectangles, bitmaps and the
// save areas, the search of a table or the run of a compressed bitmap.
//
// A moving loop is the code reached from its head without leaving a small
// stretch around it (at most kMaxInstructions instructions within kReach
// bytes either side), in which some register is only ever changed by adding
// a constant of one sign: a pointer or a counter, so that a pass that
// changes one of these does not leave the loop as it found it (a loop that
// waits is never stepped).  Its instructions are data processing,
// multiplies, loads and stores of words, halfwords, bytes and doublewords
// (any addressing, write-back included), block transfers and branches, with
// any condition.  Anything else (a call, a return, a jump through a
// register, a mode change, a coprocessor) leaves the loop where it stands.
//
// run() executes passes of the loop from the processor's state at the head,
// straight on plain memory, each pass whole or not at all: a pass that
// leaves the loop, would touch anything but plain memory (a device, nothing,
// the flash for a store, the pages of the loop's own code), make an
// access that is not aligned, change none of the moving registers or run
// longer than a pass may is undone, and it and all after it are left to the
// processor.  The passes done leave the registers, flags and memory that
// running them would, after the same instructions.
#pragma once

#include <cstdint>
#include <vector>

#include "arm/counting_loop.h"

namespace sim::arm {

// Plain memory as a moving loop's passes reach it: stretches of virtual
// addresses that lie in one piece of host memory.
class LoopRam {
public:
    struct Span {
        uint32_t begin = 0, size = 0;  // virtual addresses [begin, begin + size)
        uint8_t* host = nullptr;       // where begin is
        bool writable = false;
    };
    virtual ~LoopRam() = default;
    // The stretch of plain memory around a virtual address; false where
    // there is none (a device, nothing mapped, no translation).
    virtual bool span(uint32_t va, Span* s) = 0;
};

class MovingLoop {
public:
    static constexpr unsigned kMaxInstructions = 48;
    static constexpr uint32_t kReach = 1024;
    // The most instructions a pass may run (a pass may go round a part of
    // the loop that does not pass the head).
    static constexpr unsigned kMaxPass = 4 * kMaxInstructions;

    using Fetch = CountingLoop::Fetch;

    // The moving loop around head; false when the code there is none.
    static bool decode(uint32_t head, const Fetch& fetch, MovingLoop* loop);

    uint32_t head() const { return head_; }
    // The instructions lie in [low(), high()).
    uint32_t low() const { return low_; }
    uint32_t high() const { return high_; }
    // Whether addr is one of the loop's instructions.
    bool contains(uint32_t addr) const;
    // Whether the loop's instructions are still in memory as decoded.
    bool unchanged(const Fetch& fetch) const;

    struct Run {
        uint64_t passes = 0, instructions = 0;
        // The pages (kPage bytes, by virtual address) stored into.
        std::vector<uint32_t> pages;
    };
    static constexpr uint32_t kPage = 1024;
    // Runs whole passes from `state` (at the head) while they take at most
    // max_instructions in all; state is then that at the head after them.
    Run run(LoopState* state, uint64_t max_instructions, LoopRam& ram) const;

    struct Op;

private:
    uint32_t head_ = 0;
    uint32_t low_ = 0, high_ = 0;
    std::vector<Op> ops_;   // ops_[0] is the head
    uint16_t movers_ = 0;   // the registers only ever moved by a constant
};

struct MovingLoop::Op {
    enum Kind : uint8_t {
        Alu,       // data processing
        Mul,       // MUL, MLA
        MulLong,   // UMULL, UMLAL, SMULL, SMLAL
        Transfer,  // LDR, STR and their byte, halfword, signed and doubleword forms
        Block,     // LDM, STM
        Branch,    // B
        Leave,     // leaves the loop when its condition holds
    };
    uint32_t addr = 0, word = 0;
    Kind kind = Leave;
    uint8_t cond = 14;
    int16_t next = -1, target = -1;  // the op after it and a branch's; -1: outside the loop
    // Alu: opcode, S, rd, rn; operand 2 an immediate (value, with its
    // shifter carry or -1) or rm shifted by an immediate (amount) or by rs.
    uint8_t opcode = 0;
    bool s = false;
    uint8_t rd = 0, rn = 0, rm = 0, rs = 0;
    bool imm = true, by_reg = false;
    uint8_t shift = 0, amount = 0;
    uint32_t value = 0;
    int8_t carry = -1;
    // Mul: rd = rm * rs (+ rn with accumulate); MulLong: rn:rd (high:low).
    bool accumulate = false, sign = false;
    // Transfer: load, size in bytes (8: a doubleword), sign extension,
    // pre-index, up, write-back; the offset an immediate (value) or rm
    // shifted (imm false).
    bool load = false, pre = true, up = true, writeback = false;
    uint8_t size = 4;
    // Block: the registers, and the mode as pre and up.
    uint16_t list = 0;
};

}  // namespace sim::arm
