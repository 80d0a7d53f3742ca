#include "arm/moving_loop.h"

#include <algorithm>
#include <cstring>

namespace sim::arm {

using Op = MovingLoop::Op;

namespace {

constexpr uint8_t kPc = 15;
constexpr uint32_t kN = 1u << 31, kZ = 1u << 30, kC = 1u << 29, kV = 1u << 28;
constexpr uint8_t kAlways = 14;

bool bit(uint32_t w, unsigned n)
{
    return (w >> n) & 1;
}

// ---------------------------------------------------------------- decoding

// One instruction; anything the loop cannot run is Leave (with its
// condition: where that fails, the instruction does nothing).
Op decode_op(uint32_t addr, uint32_t w)
{
    Op o;
    o.addr = addr;
    o.word = w;
    o.cond = static_cast<uint8_t>(w >> 28);
    if (o.cond == 15) {
        o.cond = kAlways;
        return o;
    }
    const uint32_t kind = (w >> 25) & 7;
    o.rn = (w >> 16) & 15;
    o.rd = (w >> 12) & 15;
    o.rm = w & 15;
    o.pre = bit(w, 24);
    o.up = bit(w, 23);
    o.load = bit(w, 20);
    const auto leave = [&] {
        o.kind = Op::Leave;
        return o;
    };
    if (kind == 0 && (w & 0x90) == 0x90) {
        const uint32_t sh = (w >> 5) & 3;
        if (sh == 0) {
            o.s = bit(w, 20);
            o.rs = (w >> 8) & 15;
            o.accumulate = bit(w, 21);
            if ((w & 0x0FC000F0) == 0x00000090) {
                // MUL, MLA: rd in bits 19..16, the addend in 15..12.
                o.kind = Op::Mul;
                std::swap(o.rd, o.rn);
                if (o.rd == kPc || o.rm == kPc || o.rs == kPc || (o.accumulate && o.rn == kPc))
                    return leave();
                return o;
            }
            if ((w & 0x0F8000F0) == 0x00800090) {
                // The long multiplies: high in bits 19..16, low in 15..12.
                o.kind = Op::MulLong;
                o.sign = bit(w, 22);
                if (o.rd == kPc || o.rn == kPc || o.rm == kPc || o.rs == kPc || o.rd == o.rn)
                    return leave();
                return o;
            }
            return leave();  // swaps
        }
        // Halfwords, signed bytes and doublewords.
        o.kind = Op::Transfer;
        o.writeback = !o.pre || bit(w, 21);
        o.imm = bit(w, 22);
        o.value = ((w >> 4) & 0xF0) | (w & 0xF);
        if (!o.pre && bit(w, 21))
            return leave();
        if (o.load) {
            o.size = sh == 1 ? 2 : sh == 2 ? 1 : 2;
            o.sign = sh != 1;
        } else if (sh == 1) {
            o.size = 2;
        } else {
            o.size = 8;
            o.load = sh == 2;
        }
        if (o.rd == kPc || (!o.imm && o.rm == kPc) || (o.rn == kPc && o.writeback))
            return leave();
        if (o.size == 8 && (o.rd % 2 || o.rd == 14 ||
                            (o.load && ((o.writeback && (o.rn == o.rd || o.rn == o.rd + 1)) ||
                                        (!o.imm && (o.rm == o.rd || o.rm == o.rd + 1))))))
            return leave();
        if (o.load && o.writeback && o.rn == o.rd)
            return leave();
        return o;
    }
    if (kind == 0 || kind == 1) {
        o.opcode = (w >> 21) & 15;
        o.s = bit(w, 20);
        if (o.opcode >= 8 && o.opcode <= 11 && !o.s)
            return leave();  // status register moves, BX, CLZ and the like
        if (o.rd == kPc)
            return leave();  // a jump, a return
        o.kind = Op::Alu;
        if (kind == 1) {
            const unsigned rot = ((w >> 8) & 15) * 2;
            o.value = rotate_right(w & 0xFF, rot);
            o.carry = rot ? static_cast<int8_t>(o.value >> 31) : -1;
            return o;
        }
        o.imm = false;
        o.shift = (w >> 5) & 3;
        if (bit(w, 4)) {
            o.by_reg = true;
            o.rs = (w >> 8) & 15;
            if (o.rs == kPc || o.rm == kPc || o.rn == kPc)
                return leave();
        } else {
            o.amount = (w >> 7) & 31;
        }
        return o;
    }
    if (kind == 2 || kind == 3) {
        if (kind == 3 && bit(w, 4))
            return leave();
        o.kind = Op::Transfer;
        o.writeback = !o.pre || bit(w, 21);
        o.size = bit(w, 22) ? 1 : 4;
        o.imm = kind == 2;
        o.value = w & 0xFFF;
        o.shift = (w >> 5) & 3;
        o.amount = (w >> 7) & 31;
        if ((!o.pre && bit(w, 21)) || o.rd == kPc || (o.rn == kPc && o.writeback) || (!o.imm && o.rm == kPc) ||
            (o.load && o.writeback && o.rn == o.rd))
            return leave();
        return o;
    }
    if (kind == 4) {
        o.list = w & 0xFFFF;
        o.writeback = bit(w, 21);
        if (bit(w, 22) || o.list == 0 || o.rn == kPc || (o.list & 0x8000))
            return leave();
        if (o.writeback && (o.list & (1u << o.rn)) && (o.load || (o.list & ((1u << o.rn) - 1))))
            return leave();
        o.kind = Op::Block;
        return o;
    }
    if (kind == 5 && !bit(w, 24)) {
        o.kind = Op::Branch;
        o.value = addr + 8 + static_cast<uint32_t>(static_cast<int32_t>(w << 8) >> 6);
        return o;
    }
    return leave();  // calls, coprocessors, software interrupts
}

// How an op changes a register: not at all, by a constant (of the sign
// given), or otherwise.
enum class Change { None, Up, Down, Other };

Change by(uint32_t delta, bool up)
{
    if (delta == 0)
        return Change::None;
    const int32_t d = static_cast<int32_t>(up ? delta : 0u - delta);
    return d > 0 ? Change::Up : Change::Down;
}

Change change_of(const Op& o, unsigned r)
{
    switch (o.kind) {
    case Op::Alu:
        if ((o.opcode >= 8 && o.opcode <= 11) || o.rd != r)
            return Change::None;
        if (o.imm && o.rn == r && (o.opcode == 2 || o.opcode == 4) && o.value != 0)
            return by(o.value, o.opcode == 4);
        return Change::Other;
    case Op::Mul:
        return o.rd == r ? Change::Other : Change::None;
    case Op::MulLong:
        return o.rd == r || o.rn == r ? Change::Other : Change::None;
    case Op::Transfer:
        if (o.load && (o.rd == r || (o.size == 8 && o.rd + 1u == r)))
            return Change::Other;
        if (o.writeback && o.rn == r)
            return o.imm && o.value ? by(o.value, o.up) : Change::Other;
        return Change::None;
    case Op::Block:
        if (o.load && (o.list & (1u << r)))
            return Change::Other;
        if (o.writeback && o.rn == r)
            return by(4u * static_cast<uint32_t>(__builtin_popcount(o.list)), o.up);
        return Change::None;
    default:
        return Change::None;
    }
}

// ---------------------------------------------------------------- running

uint32_t shifted(uint32_t m, unsigned shift, unsigned amount, bool by_reg, uint32_t nzcv, bool* carry)
{
    const bool c = nzcv & kC;
    *carry = c;
    if (by_reg) {
        if (amount == 0)
            return m;
        switch (shift) {
        case 0:
            if (amount < 32) {
                *carry = (m >> (32 - amount)) & 1;
                return m << amount;
            }
            *carry = amount == 32 && (m & 1);
            return 0;
        case 1:
            if (amount < 32) {
                *carry = (m >> (amount - 1)) & 1;
                return m >> amount;
            }
            *carry = amount == 32 && (m >> 31);
            return 0;
        case 2:
            if (amount >= 32) {
                *carry = m >> 31;
                return static_cast<uint32_t>(static_cast<int32_t>(m) >> 31);
            }
            *carry = (m >> (amount - 1)) & 1;
            return static_cast<uint32_t>(static_cast<int32_t>(m) >> amount);
        default: {
            const uint32_t r = rotate_right(m, amount & 31);
            *carry = r >> 31;
            return r;
        }
        }
    }
    switch (shift) {
    case 0:
        if (amount == 0)
            return m;
        *carry = (m >> (32 - amount)) & 1;
        return m << amount;
    case 1:
        if (amount == 0) {
            *carry = m >> 31;
            return 0;
        }
        *carry = (m >> (amount - 1)) & 1;
        return m >> amount;
    case 2:
        if (amount == 0) {
            *carry = m >> 31;
            return static_cast<uint32_t>(static_cast<int32_t>(m) >> 31);
        }
        *carry = (m >> (amount - 1)) & 1;
        return static_cast<uint32_t>(static_cast<int32_t>(m) >> amount);
    default:
        if (amount == 0) {
            *carry = m & 1;
            return (c ? kN : 0) | m >> 1;  // RRX
        }
        {
            const uint32_t r = rotate_right(m, amount);
            *carry = r >> 31;
            return r;
        }
    }
}

uint32_t nz(uint32_t r)
{
    return (r & kN) | (r == 0 ? kZ : 0);
}

// a + b + carry with the flags it sets.
uint32_t add_with_carry(uint32_t a, uint32_t b, bool carry, uint32_t* flags)
{
    const uint64_t u = static_cast<uint64_t>(a) + b + carry;
    const uint32_t r = static_cast<uint32_t>(u);
    *flags = nz(r) | ((u >> 32) ? kC : 0) | (((~(a ^ b) & (a ^ r)) >> 31) ? kV : 0);
    return r;
}

void alu(const Op& o, uint32_t* r, uint32_t* nzcv)
{
    const uint32_t pc = o.addr + 8;
    uint32_t op2;
    bool sc;
    if (o.imm) {
        op2 = o.value;
        sc = o.carry < 0 ? (*nzcv & kC) != 0 : o.carry != 0;
    } else {
        const uint32_t m = o.rm == kPc ? pc : r[o.rm];
        op2 = shifted(m, o.shift, o.by_reg ? r[o.rs] & 0xFF : o.amount, o.by_reg, *nzcv, &sc);
    }
    const uint32_t n = o.rn == kPc ? pc : r[o.rn];
    const bool c = *nzcv & kC;
    uint32_t res = 0, flags = 0;
    bool logic = false;
    switch (o.opcode) {
    case 0: case 8: res = n & op2; logic = true; break;
    case 1: case 9: res = n ^ op2; logic = true; break;
    case 2: case 10: res = add_with_carry(n, ~op2, true, &flags); break;
    case 3: res = add_with_carry(op2, ~n, true, &flags); break;
    case 4: case 11: res = add_with_carry(n, op2, false, &flags); break;
    case 5: res = add_with_carry(n, op2, c, &flags); break;
    case 6: res = add_with_carry(n, ~op2, c, &flags); break;
    case 7: res = add_with_carry(op2, ~n, c, &flags); break;
    case 12: res = n | op2; logic = true; break;
    case 13: res = op2; logic = true; break;
    case 14: res = n & ~op2; logic = true; break;
    default: res = ~op2; logic = true; break;
    }
    if (o.s)
        *nzcv = logic ? nz(res) | (sc ? kC : 0) | (*nzcv & kV) : flags;
    if (o.opcode < 8 || o.opcode > 11)
        r[o.rd] = res;
}

void multiply(const Op& o, uint32_t* r, uint32_t* nzcv)
{
    // The flags a multiply sets are N and Z; C and V stay.
    if (o.kind == Op::Mul) {
        const uint32_t res = r[o.rm] * r[o.rs] + (o.accumulate ? r[o.rn] : 0);
        r[o.rd] = res;
        if (o.s)
            *nzcv = nz(res) | (*nzcv & (kC | kV));
        return;
    }
    uint64_t res = o.sign ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(r[o.rm])) *
                                                  static_cast<int32_t>(r[o.rs]))
                          : static_cast<uint64_t>(r[o.rm]) * r[o.rs];
    if (o.accumulate)
        res += static_cast<uint64_t>(r[o.rn]) << 32 | r[o.rd];
    r[o.rd] = static_cast<uint32_t>(res);
    r[o.rn] = static_cast<uint32_t>(res >> 32);
    if (o.s)
        *nzcv = (static_cast<uint32_t>(res >> 32) & kN) | (res == 0 ? kZ : 0) | (*nzcv & (kC | kV));
}

// Memory as the passes of one run reach it, with what each pass stored
// over, so that a pass that cannot be done whole is undone.
class PassMemory {
public:
    explicit PassMemory(LoopRam& ram, std::vector<uint32_t>& pages) : ram_(ram), pages_(pages) {}

    const uint8_t* read(uint32_t va, unsigned len) { return at(read_, va, len, false); }

    uint8_t* write(uint32_t va, unsigned len)
    {
        uint8_t* p = at(write_, va, len, true);
        if (!p)
            return nullptr;
        Undo u{p, {}, static_cast<uint8_t>(len)};
        std::memcpy(u.old, p, len);
        undo_.push_back(u);
        const uint32_t last = (va + len - 1) & ~(MovingLoop::kPage - 1);
        for (uint32_t page = va & ~(MovingLoop::kPage - 1);; page += MovingLoop::kPage) {
            note(page);
            if (page == last)
                break;
        }
        return p;
    }

    void begin_pass() { undo_.clear(); }

    void undo_pass()
    {
        for (auto u = undo_.rbegin(); u != undo_.rend(); ++u)
            std::memcpy(u->p, u->old, u->size);
        undo_.clear();
    }

private:
    struct Undo {
        uint8_t* p;
        uint8_t old[64];
        uint8_t size;
    };

    // A page stored into: the pages of the last few stores are at hand (a
    // copy stores into one or two at a time).
    void note(uint32_t page)
    {
        for (uint32_t p : recent_)
            if (p == page)
                return;
        recent_[next_recent_++ % kRecent] = page;
        pages_.push_back(page);
    }

    uint8_t* at(LoopRam::Span& s, uint32_t va, unsigned len, bool write)
    {
        const auto inside = [&] {
            return va - s.begin < s.size && s.size - (va - s.begin) >= len && (s.writable || !write);
        };
        if (!inside()) {
            if (!ram_.span(va, &s)) {
                s = {};
                return nullptr;
            }
            if (!inside())
                return nullptr;
        }
        return s.host + (va - s.begin);
    }

    LoopRam& ram_;
    std::vector<uint32_t>& pages_;
    LoopRam::Span read_, write_;
    std::vector<Undo> undo_;
    static constexpr unsigned kRecent = 4;
    uint32_t recent_[kRecent] = {1, 1, 1, 1};  // no page starts at 1
    unsigned next_recent_ = 0;
};

uint32_t load(const uint8_t* p, unsigned size)
{
    uint32_t v = 0;
    std::memcpy(&v, p, size);
    return v;
}

bool transfer(const Op& o, uint32_t* r, uint32_t nzcv, PassMemory& memory)
{
    const uint32_t base = o.rn == kPc ? o.addr + 8 : r[o.rn];
    bool unused;
    const uint32_t offset = o.imm ? o.value : shifted(r[o.rm], o.shift, o.amount, false, nzcv, &unused);
    const uint32_t moved = o.up ? base + offset : base - offset;
    const uint32_t a = o.pre ? moved : base;
    const unsigned align = o.size == 8 ? 4 : o.size;
    if (a % align)
        return false;
    if (o.load) {
        const uint8_t* p = memory.read(a, o.size);
        if (!p)
            return false;
        if (o.writeback)
            r[o.rn] = moved;
        if (o.size == 8) {
            r[o.rd] = load(p, 4);
            r[o.rd + 1] = load(p + 4, 4);
            return true;
        }
        uint32_t v = load(p, o.size);
        if (o.sign)
            v = o.size == 1 ? static_cast<uint32_t>(static_cast<int8_t>(v))
                            : static_cast<uint32_t>(static_cast<int16_t>(v));
        r[o.rd] = v;
        return true;
    }
    const uint32_t v[2] = {r[o.rd], o.size == 8 ? r[o.rd + 1] : 0};
    uint8_t* p = memory.write(a, o.size);
    if (!p)
        return false;
    std::memcpy(p, v, o.size);
    if (o.writeback)
        r[o.rn] = moved;
    return true;
}

bool block(const Op& o, uint32_t* r, PassMemory& memory)
{
    const uint32_t n = static_cast<uint32_t>(__builtin_popcount(o.list));
    const uint32_t base = r[o.rn];
    uint32_t start = base;
    if (o.up)
        start += o.pre ? 4 : 0;
    else
        start -= 4 * n - (o.pre ? 0 : 4);
    if (start % 4)
        return false;
    if (o.load) {
        const uint8_t* p = memory.read(start, 4 * n);
        if (!p)
            return false;
        for (unsigned i = 0; i < 15; ++i)
            if (o.list & (1u << i)) {
                r[i] = load(p, 4);
                p += 4;
            }
    } else {
        uint8_t* p = memory.write(start, 4 * n);
        if (!p)
            return false;
        for (unsigned i = 0; i < 15; ++i)
            if (o.list & (1u << i)) {
                std::memcpy(p, &r[i], 4);
                p += 4;
            }
    }
    if (o.writeback)
        r[o.rn] = o.up ? base + 4 * n : base - 4 * n;
    return true;
}

}  // namespace

// ---------------------------------------------------------------- the loop

bool MovingLoop::decode(uint32_t head, const Fetch& fetch, MovingLoop* loop)
{
    std::vector<Op> ops;
    // The op at addr, decoded when first reached; -1 outside the loop.
    const auto index_of = [&](uint32_t addr) -> int {
        for (size_t i = 0; i < ops.size(); ++i)
            if (ops[i].addr == addr)
                return static_cast<int>(i);
        uint32_t w;
        if (addr % 4 || addr - (head - kReach) > 2 * kReach || ops.size() == kMaxInstructions || !fetch(addr, &w))
            return -1;
        ops.push_back(decode_op(addr, w));
        return static_cast<int>(ops.size() - 1);
    };
    index_of(head);
    bool back = false;
    for (size_t i = 0; i < ops.size(); ++i) {
        const Op o = ops[i];
        int next = -1, target = -1;
        if (o.kind == Op::Branch)
            target = index_of(o.value);
        if ((o.kind != Op::Branch && o.kind != Op::Leave) || o.cond != kAlways)
            next = index_of(o.addr + 4);
        ops[i].next = static_cast<int16_t>(next);
        ops[i].target = static_cast<int16_t>(target);
        back = back || next == 0 || target == 0;
    }
    if (ops.empty() || !back || ops[0].kind == Op::Leave)
        return false;
    // The registers that only ever move by a constant of one sign.
    uint16_t movers = 0;
    for (unsigned r = 0; r < 15; ++r) {
        Change seen = Change::None;
        for (const Op& o : ops) {
            const Change c = change_of(o, r);
            if (c == Change::None)
                continue;
            if (c == Change::Other || (seen != Change::None && seen != c)) {
                seen = Change::Other;
                break;
            }
            seen = c;
        }
        if (seen == Change::Up || seen == Change::Down)
            movers |= static_cast<uint16_t>(1u << r);
    }
    if (!movers)
        return false;
    loop->head_ = head;
    loop->low_ = loop->high_ = head;
    for (const Op& o : ops) {
        loop->low_ = std::min(loop->low_, o.addr);
        loop->high_ = std::max(loop->high_, o.addr + 4);
    }
    loop->ops_ = std::move(ops);
    loop->movers_ = movers;
    return true;
}

bool MovingLoop::contains(uint32_t addr) const
{
    if (addr - low_ >= high_ - low_)
        return false;
    for (const Op& o : ops_)
        if (o.addr == addr)
            return true;
    return false;
}

bool MovingLoop::unchanged(const Fetch& fetch) const
{
    for (const Op& o : ops_) {
        uint32_t w;
        if (!fetch(o.addr, &w) || w != o.word)
            return false;
    }
    return true;
}

MovingLoop::Run MovingLoop::run(LoopState* state, uint64_t max_instructions, LoopRam& ram) const
{
    Run out;
    PassMemory memory(ram, out.pages);
    uint32_t r[15], nzcv = state->nzcv;
    std::memcpy(r, state->r, sizeof r);
    while (out.instructions < max_instructions) {
        const uint64_t budget = std::min<uint64_t>(kMaxPass, max_instructions - out.instructions);
        uint32_t before[15];
        std::memcpy(before, r, sizeof r);
        const uint32_t nzcv_before = nzcv;
        memory.begin_pass();
        uint64_t n = 0;
        int i = 0;
        bool whole = true;
        do {
            if (n == budget) {
                whole = false;
                break;
            }
            const Op& o = ops_[static_cast<size_t>(i)];
            ++n;
            int next = o.next;
            if (o.cond == kAlways || condition_holds(o.cond, nzcv)) {
                switch (o.kind) {
                case Op::Alu: alu(o, r, &nzcv); break;
                case Op::Mul:
                case Op::MulLong: multiply(o, r, &nzcv); break;
                case Op::Transfer: whole = transfer(o, r, nzcv, memory); break;
                case Op::Block: whole = block(o, r, memory); break;
                case Op::Branch: next = o.target; break;
                case Op::Leave: whole = false; break;
                }
            }
            if (next < 0)
                whole = false;
            i = next;
        } while (whole && i != 0);
        // A pass that moves none of the pointers and counters might wait.
        bool moved = false;
        for (unsigned k = 0; k < 15; ++k)
            moved = moved || ((movers_ >> k & 1) && r[k] != before[k]);
        if (!whole || !moved) {
            memory.undo_pass();
            std::memcpy(r, before, sizeof r);
            nzcv = nzcv_before;
            break;
        }
        ++out.passes;
        out.instructions += n;
    }
    std::memcpy(state->r, r, sizeof r);
    state->nzcv = nzcv;
    return out;
}

}  // namespace sim::arm
