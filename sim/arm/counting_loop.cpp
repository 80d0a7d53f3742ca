#include "arm/counting_loop.h"

#include <algorithm>

namespace sim::arm {

using Insn = CountingLoop::Insn;

namespace {

constexpr uint8_t kPc = 15;
// Registers r0..r14 are values 0..14 of a pass; the stored words follow.
constexpr unsigned kRegs = 15;
constexpr unsigned kMaxWords = 8;
constexpr unsigned kVars = kRegs + kMaxWords;
// Instructions looked at while finding a loop's pass, all ways together.
constexpr int kDecodeBudget = 256;

constexpr uint32_t kN = 1u << 31, kZ = 1u << 30, kC = 1u << 29, kV = 1u << 28;

}  // namespace

bool condition_holds(unsigned cond, uint32_t nzcv)
{
    const bool n = nzcv & kN, z = nzcv & kZ, c = nzcv & kC, v = nzcv & kV;
    switch (cond) {
    case 0: return z;
    case 1: return !z;
    case 2: return c;
    case 3: return !c;
    case 4: return n;
    case 5: return !n;
    case 6: return v;
    case 7: return !v;
    case 8: return c && !z;
    case 9: return !c || z;
    case 10: return n == v;
    case 11: return n != v;
    case 12: return !z && n == v;
    case 13: return z || n != v;
    default: return true;
    }
}

uint32_t rotate_right(uint32_t v, unsigned n)
{
    n &= 31;
    return n ? v >> n | v << (32 - n) : v;
}

namespace {

// ---------------------------------------------------------------- flags

uint32_t nz(uint32_t r)
{
    return (r & kN) | (r == 0 ? kZ : 0);
}

uint32_t sub_flags(uint32_t a, uint32_t b)
{
    const uint32_t r = a - b;
    return nz(r) | (a >= b ? kC : 0) | ((((a ^ b) & (a ^ r)) >> 31) ? kV : 0);
}

uint32_t add_flags(uint32_t a, uint32_t b)
{
    const uint32_t r = a + b;
    return nz(r) | (r < a ? kC : 0) | (((~(a ^ b) & (a ^ r)) >> 31) ? kV : 0);
}

// A logical operation: N and Z from the result, C from the shifter (-1: as
// it was), V as it was.
uint32_t logic_flags(uint32_t r, int carry, uint32_t before)
{
    const uint32_t c = carry < 0 ? before & kC : carry ? kC : 0;
    return nz(r) | c | (before & kV);
}

// How an exit test's flags follow from the one value u that changes from
// pass to pass and the constant c it is compared with.
enum class Form { UMinusC, CMinusU, UPlusC, U };

uint32_t flags_of(Form f, uint32_t u, uint32_t c)
{
    switch (f) {
    case Form::UMinusC: return sub_flags(u, c);
    case Form::CMinusU: return sub_flags(c, u);
    case Form::UPlusC: return add_flags(u, c);
    case Form::U: break;
    }
    return nz(u);
}

// The passes before an exit test leaves the loop (at most max + 1), where
// pass k tests u0 + k * d: every pass below the result stays.
uint64_t passes_before_exit(Form f, uint32_t c, unsigned cond, bool exit_when, uint32_t u0, uint32_t d, uint64_t max)
{
    const auto leaves = [&](uint32_t u) { return condition_holds(cond, flags_of(f, u, c)) == exit_when; };
    if (d == 0)
        return leaves(u0) ? 0 : max + 1;
    // Where one of the flags can change as u grows by one: each flag is the
    // same from one of these points up to the next, and so is the outcome.
    std::vector<uint32_t> points;
    switch (f) {
    case Form::UMinusC: points = {0, kN, c, c + 1, c + kN}; break;
    case Form::CMinusU: points = {0, kN, c, c + 1, c + kN + 1}; break;
    case Form::UPlusC: points = {0, kN, 0u - c, 1u - c, kN - c}; break;
    case Form::U: points = {0, 1, kN}; break;
    }
    std::sort(points.begin(), points.end());
    const bool up = static_cast<int32_t>(d) > 0 || d == kN;
    const uint64_t stride = up ? d : 0u - d;
    uint64_t k = 0;
    for (int tries = 0; tries < 64; ++tries) {
        const uint32_t u = u0 + static_cast<uint32_t>(k) * d;
        if (leaves(u))
            return k;
        // The passes that stay on this stretch.
        uint64_t distance;
        if (up) {
            const auto next = std::upper_bound(points.begin(), points.end(), u);
            distance = (next == points.end() ? 1ull << 32 : *next) - u;
        } else {
            const auto at = std::upper_bound(points.begin(), points.end(), u) - 1;  // points[0] is 0
            distance = static_cast<uint64_t>(u - *at) + 1;
        }
        k += (distance + stride - 1) / stride;
        if (k > max)
            return max + 1;
    }
    return k;
}

// ---------------------------------------------------------------- decoding

bool decode_one(uint32_t addr, uint32_t w, Insn* in)
{
    const uint32_t cond = w >> 28;
    if (cond == 0xF)
        return false;
    *in = Insn{};
    in->addr = addr;
    in->word = w;
    const uint32_t kind = (w >> 25) & 7;
    if (kind == 5) {
        if (w & (1u << 24))
            return false;  // BL: a call
        in->target = addr + 8 + static_cast<uint32_t>(static_cast<int32_t>(w << 8) >> 6);
        in->op = cond == 14 ? Insn::Jump : Insn::Test;
        in->cond = static_cast<uint8_t>(cond);
        return true;
    }
    if (cond != 14)
        return false;  // of the rest, only instructions that always run
    in->rn = (w >> 16) & 15;
    in->rd = (w >> 12) & 15;
    if (kind == 0 && (w & 0x90) == 0x90) {
        // Multiplies, swaps, and the halfword and signed-byte transfers:
        // of these only loads with an immediate offset and no write-back.
        const uint32_t sh = (w >> 5) & 3;
        if (sh == 0 || !(w & (1u << 20)) || !(w & (1u << 24)) || (w & (1u << 21)) || !(w & (1u << 22)) ||
            in->rd == kPc)
            return false;
        in->op = Insn::Load;
        in->size = sh == 2 ? 1 : 2;
        in->sign = sh != 1;
        const int32_t off = static_cast<int32_t>(((w >> 4) & 0xF0) | (w & 0xF));
        in->offset = (w & (1u << 23)) ? off : -off;
        return true;
    }
    if (kind == 0 || kind == 1) {
        const uint32_t opcode = (w >> 21) & 15;
        in->s = w & (1u << 20);
        if (opcode >= 5 && opcode <= 7)
            return false;  // ADC, SBC, RSC: the carry as an input
        const bool test = opcode >= Insn::Tst && opcode <= Insn::Cmn;
        if (test && !in->s)
            return false;  // status register moves, BX and the like
        if (in->rd == kPc)
            return false;  // a jump, a return from an exception
        in->op = static_cast<Insn::Op>(opcode);
        if (kind == 1) {
            const unsigned rot = ((w >> 8) & 15) * 2;
            in->value = rotate_right(w & 0xFF, rot);
            in->carry = rot ? static_cast<int>(in->value >> 31) : -1;
            return true;
        }
        if (w & 0x10)
            return false;  // shift by a register
        in->imm = false;
        in->rm = w & 15;
        in->shift = (w >> 5) & 3;
        in->amount = (w >> 7) & 31;
        return !(in->shift == 3 && in->amount == 0);  // RRX: the carry as an input
    }
    if (kind == 2) {
        // LDR, LDRB, STR with an immediate offset and no write-back; the
        // loop stores whole words only.
        const bool load = w & (1u << 20), byte = w & (1u << 22);
        if (!(w & (1u << 24)) || (w & (1u << 21)) || in->rd == kPc || (!load && byte))
            return false;
        in->op = load ? Insn::Load : Insn::Store;
        in->size = byte ? 1 : 4;
        const int32_t off = static_cast<int32_t>(w & 0xFFF);
        in->offset = (w & (1u << 23)) ? off : -off;
        return true;
    }
    return false;
}

// Follows the code from addr until it comes back to head.  At a
// conditional branch one way must come back: the other leaves.
bool walk(uint32_t head, uint32_t addr, const CountingLoop::Fetch& fetch, std::vector<Insn>& path, int& budget)
{
    for (;;) {
        if (!path.empty() && addr == head)
            return true;
        if (path.size() >= CountingLoop::kMaxInstructions || --budget < 0)
            return false;
        for (const Insn& i : path)
            if (i.addr == addr)
                return false;
        uint32_t w = 0;
        Insn in;
        if (!fetch(addr, &w) || !decode_one(addr, w, &in))
            return false;
        path.push_back(in);
        if (in.op == Insn::Jump) {
            addr = in.target;
            continue;
        }
        if (in.op == Insn::Test) {
            std::vector<Insn> taken = path, on = path;
            const bool t = walk(head, in.target, fetch, taken, budget);
            const bool f = walk(head, addr + 4, fetch, on, budget);
            if (!t && !f)
                return false;
            // Both ways may come back, one through an outer loop: the
            // shorter way is the pass, the other leaves it.
            path = t && (!f || taken.size() <= on.size()) ? taken : on;
            return true;
        }
        addr += 4;
    }
}

// ---------------------------------------------------------------- one pass

// A value in a pass: a constant, the value of one of the pass's variables
// at the head plus a constant, or something else.
struct Val {
    enum Kind : uint8_t { Const, Lin, Unknown };
    Kind kind = Unknown;
    uint8_t var = 0;
    uint32_t c = 0;
};

Val konst(uint32_t c)
{
    Val v;
    v.kind = Val::Const;
    v.c = c;
    return v;
}

Val lin(unsigned var, uint32_t c)
{
    Val v;
    v.kind = Val::Lin;
    v.var = static_cast<uint8_t>(var);
    v.c = c;
    return v;
}

Val add_vals(Val a, Val b)
{
    if (a.kind == Val::Const && b.kind == Val::Const)
        return konst(a.c + b.c);
    if (a.kind == Val::Lin && b.kind == Val::Const)
        return lin(a.var, a.c + b.c);
    if (a.kind == Val::Const && b.kind == Val::Lin)
        return lin(b.var, a.c + b.c);
    return Val{};
}

Val sub_vals(Val a, Val b)
{
    if (a.kind == Val::Const && b.kind == Val::Const)
        return konst(a.c - b.c);
    if (a.kind == Val::Lin && b.kind == Val::Const)
        return lin(a.var, a.c - b.c);
    if (a.kind == Val::Lin && b.kind == Val::Lin && a.var == b.var)
        return konst(a.c - b.c);
    return Val{};
}

// The flags as the pass has set them so far.
struct Flags {
    enum Kind : uint8_t { Entry, Sub, Add, Logic, Unknown };
    Kind kind = Entry;
    Val a, b;  // Sub: a - b; Add: a + b; Logic: a is the result
};

struct Exit {
    Flags flags;
    uint8_t cond;
    bool exit_when;
};

// Where a load or store goes: an address, or (while decoding, before any
// value is known) its base register and offset.
using Key = uint64_t;

// Where a load or store goes, with the registers' values (null: by base
// register and offset); false when its base is not a constant.
bool key_of(const Insn& in, const Val* regs, Key* key)
{
    if (in.rn == kPc) {
        *key = in.addr + 8 + static_cast<uint32_t>(in.offset);
        return true;
    }
    if (!regs) {
        *key = (static_cast<Key>(in.rn) + 1) << 32 | static_cast<uint32_t>(in.offset);
        return true;
    }
    if (regs[in.rn].kind != Val::Const)
        return false;
    *key = static_cast<uint32_t>(regs[in.rn].c + static_cast<uint32_t>(in.offset));
    return true;
}

// The registers the code writes.
uint32_t written_by(const std::vector<Insn>& code)
{
    uint32_t written = 0;
    for (const Insn& in : code)
        if (in.op == Insn::Load || (in.op <= Insn::Mvn && (in.op < Insn::Tst || in.op > Insn::Cmn)))
            written |= 1u << in.rd;
    return written;
}

struct Pass {
    Val var[kVars];
    Key word_key[kMaxWords];
    unsigned words = 0;
    Flags flags;
    uint32_t nzcv = 0;  // with every value a constant: the flags themselves
    bool nzcv_known = true;
    uint32_t used = 0;  // variables whose value at the head the pass reads
    std::vector<Exit> exits;
    bool left = false;     // with constants: a test left the loop
    bool unsure = false;   // with constants: a test whose flags were not known
};

// Adds where each store of the code goes to the pass's stored words; false
// past kMaxWords or where a store's place is not known.
bool find_words(const std::vector<Insn>& code, const Val* regs, Pass* p)
{
    for (const Insn& in : code) {
        Key key;
        if (in.op != Insn::Store)
            continue;
        if (!key_of(in, regs, &key) || (regs && key % 4))
            return false;
        if (std::find(p->word_key, p->word_key + p->words, key) == p->word_key + p->words) {
            if (p->words == kMaxWords)
                return false;
            p->word_key[p->words++] = key;
        }
    }
    return true;
}

// Runs one pass over the values in p.  Keyed by base register (decoding):
// values that are not the loop's own are unknown.  Otherwise loads read
// memory.
bool run_pass(const std::vector<Insn>& code, Pass& p, LoopMemory* memory)
{
    const auto value = [&](unsigned v) {
        if (p.var[v].kind == Val::Lin)
            p.used |= 1u << p.var[v].var;
        return p.var[v];
    };
    const auto reg = [&](unsigned r, const Insn& in) { return r == kPc ? konst(in.addr + 8) : value(r); };
    // Where a load or store goes, and which of the stored words that is
    // (p.words: none).
    const auto word_of = [&](const Insn& in, Key* key, unsigned* w) {
        if (!key_of(in, memory ? p.var : nullptr, key))
            return false;
        *w = 0;
        while (*w < p.words && p.word_key[*w] != *key)
            ++*w;
        return true;
    };
    for (const Insn& in : code) {
        switch (in.op) {
        case Insn::Jump:
            break;
        case Insn::Test:
            p.exits.push_back({p.flags, in.cond, in.exit_when});
            if (!p.nzcv_known)
                p.unsure = true;
            else if (condition_holds(in.cond, p.nzcv) == in.exit_when)
                p.left = true;
            break;
        case Insn::Load: {
            Key key;
            unsigned w;
            if (!word_of(in, &key, &w))
                return false;
            if (w < p.words && in.size == 4) {
                p.var[in.rd] = value(kRegs + w);
                break;
            }
            if (!memory) {
                p.var[in.rd] = Val{};
                break;
            }
            // Not one of the stored words, nor any part of one.
            const uint32_t a = static_cast<uint32_t>(key);
            if (a % in.size)
                return false;
            for (unsigned i = 0; i < p.words; ++i)
                if (a - static_cast<uint32_t>(p.word_key[i]) < 4 || static_cast<uint32_t>(p.word_key[i]) - a < in.size)
                    return false;
            uint32_t v;
            if (!memory->read(a, in.size, &v))
                return false;
            if (in.sign)
                v = in.size == 1 ? static_cast<uint32_t>(static_cast<int8_t>(v))
                                 : static_cast<uint32_t>(static_cast<int16_t>(v));
            p.var[in.rd] = konst(v);
            break;
        }
        case Insn::Store: {
            Key key;
            unsigned w;
            if (!word_of(in, &key, &w) || w == p.words)
                return false;
            p.var[kRegs + w] = reg(in.rd, in);
            break;
        }
        default: {
            // Data processing.  Operand 2 and the shifter's carry (-2: not
            // known).
            Val op2;
            int carry = -1;
            if (in.imm) {
                op2 = konst(in.value);
                carry = in.carry;
            } else {
                const Val m = reg(in.rm, in);
                if (in.shift == 0 && in.amount == 0) {
                    op2 = m;
                } else if (m.kind == Val::Const) {
                    const uint32_t v = m.c;
                    const unsigned n = in.amount ? in.amount : 32;  // LSR and ASR #0 mean 32
                    uint32_t r = 0;
                    switch (in.shift) {
                    case 0: r = v << n; carry = static_cast<int>((v >> (32 - n)) & 1); break;
                    case 1: r = n == 32 ? 0 : v >> n; carry = static_cast<int>((v >> (n - 1)) & 1); break;
                    case 2:
                        r = n == 32 ? static_cast<uint32_t>(static_cast<int32_t>(v) >> 31)
                                    : static_cast<uint32_t>(static_cast<int32_t>(v) >> n);
                        carry = static_cast<int>((v >> (n - 1)) & 1);
                        break;
                    default: r = rotate_right(v, n); carry = static_cast<int>(r >> 31); break;
                    }
                    op2 = konst(r);
                } else {
                    carry = -2;
                }
            }
            const bool uses_rn = in.op != Insn::Mov && in.op != Insn::Mvn;
            const Val n = uses_rn ? reg(in.rn, in) : konst(0);
            const bool both = n.kind == Val::Const && op2.kind == Val::Const;
            Val r;
            Flags f;
            f.kind = Flags::Logic;
            switch (in.op) {
            case Insn::And: case Insn::Tst: r = both ? konst(n.c & op2.c) : Val{}; break;
            case Insn::Eor: case Insn::Teq: r = both ? konst(n.c ^ op2.c) : Val{}; break;
            case Insn::Orr: r = both ? konst(n.c | op2.c) : Val{}; break;
            case Insn::Bic: r = both ? konst(n.c & ~op2.c) : Val{}; break;
            case Insn::Mov: r = op2; break;
            case Insn::Mvn: r = op2.kind == Val::Const ? konst(~op2.c) : Val{}; break;
            case Insn::Add: case Insn::Cmn: r = add_vals(n, op2); f = {Flags::Add, n, op2}; break;
            case Insn::Sub: case Insn::Cmp: r = sub_vals(n, op2); f = {Flags::Sub, n, op2}; break;
            case Insn::Rsb: r = sub_vals(op2, n); f = {Flags::Sub, op2, n}; break;
            default: return false;
            }
            if (in.s) {
                if (f.kind == Flags::Logic)
                    f.a = r;
                const bool unknown = f.a.kind == Val::Unknown || (f.kind != Flags::Logic && f.b.kind == Val::Unknown);
                p.flags = unknown ? Flags{Flags::Unknown, {}, {}} : f;
                if (f.kind == Flags::Logic && r.kind == Val::Const && carry != -2 && p.nzcv_known)
                    p.nzcv = logic_flags(r.c, carry, p.nzcv);
                else if (f.kind == Flags::Sub && both)
                    p.nzcv = in.op == Insn::Rsb ? sub_flags(op2.c, n.c) : sub_flags(n.c, op2.c);
                else if (f.kind == Flags::Add && both)
                    p.nzcv = add_flags(n.c, op2.c);
                else
                    p.nzcv_known = false;
            }
            if (in.op < Insn::Tst || in.op > Insn::Cmn)
                p.var[in.rd] = r;
            break;
        }
        }
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------- the loop

bool CountingLoop::decode(uint32_t head, const Fetch& fetch, CountingLoop* loop)
{
    std::vector<Insn> code;
    int budget = kDecodeBudget;
    if (!walk(head, head, fetch, code, budget))
        return false;
    // Which way each test leaves: the way that is not the next instruction
    // of the pass.
    for (size_t i = 0; i < code.size(); ++i) {
        Insn& in = code[i];
        if (in.op != Insn::Test)
            continue;
        const bool stays_taken = in.target == code[(i + 1) % code.size()].addr;
        in.exit_when = !stays_taken;
        const uint32_t out = stays_taken ? in.addr + 4 : in.target;
        for (const Insn& j : code)
            if (j.addr == out)
                return false;  // leaves into its own pass
    }
    // Loads and stores at addresses the loop does not move.
    const uint32_t written = written_by(code);
    for (const Insn& in : code)
        if ((in.op == Insn::Load || in.op == Insn::Store) && in.rn != kPc && (written & (1u << in.rn)))
            return false;
    Pass p;
    if (!find_words(code, nullptr, &p))
        return false;
    // It counts: some register or stored word gets a constant added each
    // pass.  (Without the registers it does not write, nothing else can be
    // told yet.)
    for (unsigned r = 0; r < kRegs; ++r)
        if (written & (1u << r))
            p.var[r] = lin(r, 0);
    for (unsigned w = 0; w < p.words; ++w)
        p.var[kRegs + w] = lin(kRegs + w, 0);
    if (!run_pass(code, p, nullptr))
        return false;
    bool counts = false;
    for (unsigned v = 0; v < kRegs + p.words; ++v)
        if (((v < kRegs && (written & (1u << v))) || v >= kRegs) && p.var[v].kind == Val::Lin && p.var[v].var == v &&
            p.var[v].c != 0)
            counts = true;
    if (!counts)
        return false;
    loop->head_ = head;
    loop->code_ = std::move(code);
    return true;
}

bool CountingLoop::contains(uint32_t addr) const
{
    for (const Insn& in : code_)
        if (in.addr == addr)
            return true;
    return false;
}

bool CountingLoop::unchanged(const Fetch& fetch) const
{
    for (const Insn& in : code_) {
        uint32_t w;
        if (!fetch(in.addr, &w) || w != in.word)
            return false;
    }
    return true;
}

CountingLoop::Step CountingLoop::step(const LoopState& at, uint64_t max, LoopMemory& memory) const
{
    Step none;
    none.state = at;
    if (max == 0)
        return none;
    // The stored words: where they are now and what they hold.
    const uint32_t written = written_by(code_);
    Val regs[kRegs];
    for (unsigned r = 0; r < kRegs; ++r)
        regs[r] = konst(at.r[r]);
    Pass base;
    if (!find_words(code_, regs, &base))
        return none;
    uint32_t now[kVars];
    for (unsigned r = 0; r < kRegs; ++r)
        now[r] = at.r[r];
    for (unsigned w = 0; w < base.words; ++w)
        if (!memory.read(static_cast<uint32_t>(base.word_key[w]), 4, &now[kRegs + w]))
            return none;
    const unsigned vars = kRegs + base.words;
    uint32_t own = written & ((1u << kRegs) - 1);
    for (unsigned w = 0; w < base.words; ++w)
        own |= 1u << (kRegs + w);

    // What one pass does with each of the loop's own variables: its value
    // after k passes is now + k * step.  Those that stay the same are taken
    // as the constants they are, and the pass is looked at again.
    uint32_t fixed = 0;  // own variables that keep their value
    uint32_t dead = 0;   // set afresh each pass, not read before
    uint32_t stride[kVars] = {};
    Pass p;
    for (int round = 0;; ++round) {
        if (round == 4)
            return none;
        p = base;
        for (unsigned v = 0; v < vars; ++v)
            p.var[v] = (own & ~fixed) & (1u << v) ? lin(v, 0) : konst(now[v]);
        p.nzcv = at.nzcv;
        if (!run_pass(code_, p, &memory))
            return none;
        uint8_t state[kVars] = {};  // 1: being worked out, 2: done
        dead = 0;
        bool ok = true;
        const std::function<void(unsigned)> resolve = [&](unsigned v) {
            if (state[v] == 2 || !ok)
                return;
            if (state[v] == 1) {
                ok = false;  // copies of each other
                return;
            }
            state[v] = 1;
            const Val e = p.var[v];
            if (e.kind == Val::Const) {
                stride[v] = 0;
                ok = ok && now[v] == e.c;  // set afresh each pass: true once it ran a pass
            } else if (e.kind == Val::Unknown) {
                dead |= 1u << v;
                ok = ok && !(p.used & (1u << v));
            } else if (e.var == v) {
                stride[v] = e.c;
            } else {
                // A copy of another variable as the pass began.
                resolve(e.var);
                stride[v] = stride[e.var];
                ok = ok && !(dead & (1u << e.var)) && now[v] == now[e.var] - stride[e.var] + e.c;
            }
            state[v] = 2;
        };
        uint32_t more = 0;
        for (unsigned v = 0; v < vars; ++v)
            if (own & (1u << v)) {
                if (fixed & (1u << v)) {
                    if (p.var[v].kind != Val::Const || p.var[v].c != now[v])
                        return none;
                    continue;
                }
                resolve(v);
                if (ok && !(dead & (1u << v)) && stride[v] == 0)
                    more |= 1u << v;
            }
        if (!ok)
            return none;
        if (!more)
            break;
        fixed |= more;
    }

    // The first pass that leaves: each exit test compares a line with a
    // constant.
    uint64_t passes = max;
    const auto line = [&](const Val& v, uint32_t* u0, uint32_t* d) {
        if (v.kind == Val::Const) {
            *u0 = v.c;
            *d = 0;
        } else {
            *u0 = now[v.var] + v.c;
            *d = stride[v.var];
        }
    };
    for (const Exit& e : p.exits) {
        if (e.flags.kind == Flags::Entry || e.flags.kind == Flags::Unknown)
            return none;
        uint32_t a0, da, b0 = 0, db = 0;
        line(e.flags.a, &a0, &da);
        if (e.flags.kind != Flags::Logic)
            line(e.flags.b, &b0, &db);
        Form form;
        uint32_t u0, d, c;
        if (e.flags.kind == Flags::Logic) {
            if (e.cond != 0 && e.cond != 1 && e.cond != 4 && e.cond != 5)
                return none;  // C and V as they were before: not known here
            form = Form::U, u0 = a0, d = da, c = 0;
        } else if (db == 0) {
            form = e.flags.kind == Flags::Sub ? Form::UMinusC : Form::UPlusC, u0 = a0, d = da, c = b0;
        } else if (da == 0) {
            form = e.flags.kind == Flags::Sub ? Form::CMinusU : Form::UPlusC, u0 = b0, d = db, c = a0;
        } else {
            return none;  // two lines compared
        }
        passes = std::min(passes, passes_before_exit(form, c, e.cond, e.exit_when, u0, d, passes));
        if (passes == 0)
            return none;
    }

    // The last of the passes, run from the values it starts with: what it
    // leaves is the state after all of them.  It and the first must stay in
    // the loop.
    const auto pass_from = [&](uint64_t k, Pass* q) {
        *q = base;
        for (unsigned v = 0; v < vars; ++v)
            q->var[v] = konst(now[v] + static_cast<uint32_t>(k) * ((own & ~fixed & ~dead) & (1u << v) ? stride[v] : 0));
        q->nzcv = at.nzcv;
        return run_pass(code_, *q, &memory) && !q->left && !q->unsure && q->nzcv_known;
    };
    const auto on_the_lines = [&](uint64_t k, const Pass& q) {
        for (unsigned v = 0; v < vars; ++v)
            if (q.var[v].kind != Val::Const ||
                ((own & ~dead) & (1u << v) && q.var[v].c != now[v] + static_cast<uint32_t>(k) * stride[v]))
                return false;
        return true;
    };
    Pass first, last;
    if (!pass_from(0, &first) || !on_the_lines(1, first) || !pass_from(passes - 1, &last) ||
        !on_the_lines(passes, last))
        return none;
    Step s;
    s.passes = passes;
    for (unsigned r = 0; r < kRegs; ++r)
        s.state.r[r] = last.var[r].c;
    s.state.nzcv = last.nzcv;
    for (unsigned w = 0; w < base.words; ++w)
        s.memory.push_back({static_cast<uint32_t>(base.word_key[w]), last.var[kRegs + w].c});
    return s;
}

}  // namespace sim::arm
