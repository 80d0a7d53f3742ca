// Counting loops: small loops of ARM code whose only effect is to count
// toward their exit, such as the busy-waits that pace the card's data words
// and the serial memories' bus steps.
//
// A counting loop is a cycle of at most kMaxInstructions instructions from
// its head back to it, made only of data processing without the carry as
// an input, loads and word stores at fixed addresses (a base register the
// loop never writes, plus an offset), conditional branches that leave the
// cycle (where both ways come back, the shorter one is the cycle) and
// branches that stay in it; and at least one register or stored word that
// it counts: the pass adds a constant to it.  It changes no mode and calls
// nothing; that it touches no device, only its values tell.
//
// From the registers at the head, step() works out how many whole passes
// the loop makes before one of its branches leaves, without running them:
// every register and stored word either stays, counts by a constant each
// pass, is set afresh each pass (a constant, a copy of one of the others as
// the pass began, or scratch that the pass does not read before), so its
// value after k passes is a line in k; each exit test compares such a line
// with a constant, and the first pass whose test leaves follows from where
// the flags can change along that line.  The state after the passes
// (registers, flags, stored words) is that of running the last of them,
// which is run, as is the first, to check that both stay in the loop.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace sim::arm {

// The processor as a loop sees it at its head: r0..r14 (the pc is the
// head) and the flags N, Z, C and V in bits 31..28.
struct LoopState {
    uint32_t r[15] = {};
    uint32_t nzcv = 0;
};

// Whether an instruction's condition (bits 31..28 of it) holds with the
// flags N, Z, C and V in bits 31..28 of nzcv.
bool condition_holds(unsigned cond, uint32_t nzcv);
// v rotated right by n bits (0..31).
uint32_t rotate_right(uint32_t v, unsigned n);

// Plain memory, as a loop's loads read it.
class LoopMemory {
public:
    virtual ~LoopMemory() = default;
    // The size (1, 2 or 4) bytes at a virtual address, zero-extended;
    // false where there is no plain memory (a device, nothing).
    virtual bool read(uint32_t addr, unsigned size, uint32_t* value) = 0;
};

class CountingLoop {
public:
    static constexpr unsigned kMaxInstructions = 24;

    // Reads an instruction word at a virtual address; false where there is
    // none.
    using Fetch = std::function<bool(uint32_t addr, uint32_t* word)>;

    // The counting loop whose pass starts at head; false when the code
    // there is none.
    static bool decode(uint32_t head, const Fetch& fetch, CountingLoop* loop);

    uint32_t head() const { return head_; }
    // Instructions one pass executes.
    unsigned instructions() const { return static_cast<unsigned>(code_.size()); }
    // Whether addr is one of the loop's instructions.
    bool contains(uint32_t addr) const;
    // Whether the loop's instructions are still in memory as decoded.
    bool unchanged(const Fetch& fetch) const;

    struct Store {
        uint32_t addr, value;
    };
    struct Step {
        uint64_t passes = 0;
        LoopState state;            // at the head after them
        std::vector<Store> memory;  // what each stored word holds after them
    };
    // The whole passes the loop makes from `at` before one of its branches
    // leaves, at most max, and the state they leave.  No passes when the
    // values do not let it tell (a stored word that a load reads in part,
    // an address without plain memory, two lines compared, ...).
    Step step(const LoopState& at, uint64_t max, LoopMemory& memory) const;

    struct Insn;

private:
    uint32_t head_ = 0;
    std::vector<Insn> code_;  // one pass, from the head
};

struct CountingLoop::Insn {
    // Data-processing opcodes as encoded; the others after them.
    enum Op : uint8_t {
        And = 0, Eor = 1, Sub = 2, Rsb = 3, Add = 4, Tst = 8, Teq = 9, Cmp = 10, Cmn = 11,
        Orr = 12, Mov = 13, Bic = 14, Mvn = 15, Load, Store, Jump, Test
    };
    uint32_t addr = 0, word = 0;
    Op op = Mov;
    bool s = false;          // sets the flags
    uint8_t rd = 0, rn = 0;  // rn: the base of a load or store
    // Operand 2: an immediate with its shifter carry (-1: the carry stays),
    // or rm shifted by an immediate amount.
    bool imm = true;
    uint32_t value = 0;
    int carry = -1;
    uint8_t rm = 0, shift = 0, amount = 0;
    // Loads and stores: size in bytes, sign extension, offset from rn.
    uint8_t size = 4;
    bool sign = false;
    int32_t offset = 0;
    // Branches: where to, and for a test the condition and the outcome
    // that leaves the loop.
    uint32_t target = 0;
    uint8_t cond = 14;
    bool exit_when = false;
};

}  // namespace sim::arm
