#include "arm/arm_cpu.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <set>
#include <stdexcept>

#include "arm/elf_image.h"
#include "board.h"
#include "devices/regfile.h"

namespace sim::arm {

namespace {

constexpr uint32_t kPage = 1024;         // the engine's page size for this core
constexpr uint32_t kVectorAlias = 1u << 20;
constexpr uint32_t kMmioGap = 1u << 20;  // device windows this close share one MMIO range
constexpr uint64_t kNever = 0xFFFFFFFF;  // an address where no ARM instruction starts

// Program status register.
constexpr uint32_t kModeMask = 0x1F, kThumb = 0x20, kIrqMask = 0x80;
constexpr uint32_t kModeIrq = 0x12, kModeSvc = 0x13, kModeAbt = 0x17, kModeUnd = 0x1B;
// The V bit of the system control register: vectors at 0xFFFF0000.
constexpr uint32_t kHighVectors = 1u << 13;
// QEMU's numbers for the exceptions the engine reports through its
// interrupt hook.
constexpr uint32_t kExcpUdef = 1, kExcpSwi = 2, kExcpPrefetchAbort = 3, kExcpDataAbort = 4, kExcpBkpt = 7;

// The processor runs at most this much virtual time before the program
// looks at the front ends' work again.
constexpr Time kSlice = kMillisecond;
// Nanoseconds per instruction as a reduced fraction.
constexpr uint64_t kNsNum0 = ArmCpu::kCyclesNum * 1000000000ull;
constexpr uint64_t kNsDen0 = ArmCpu::kCyclesDen * ArmCpu::kClockHz;
constexpr uint64_t kNsNum = kNsNum0 / std::gcd(kNsNum0, kNsDen0);
constexpr uint64_t kNsDen = kNsDen0 / std::gcd(kNsNum0, kNsDen0);

// Waiting loops: blocks after which an anchor that never came back is given
// up, and register mismatches in a row after which another place is tried.
constexpr uint64_t kAnchorPatience = 50000;
constexpr unsigned kAnchorMisses = 4;

// Counting loops: a jump back over at most this many bytes may reach the
// head of one.
constexpr uint32_t kLoopReach = 4096;
// Tries to step a counting loop that did not let it, until it is entered
// again.
constexpr unsigned kLoopMisses = 2;

// The registers that a waiting loop keeps the same from pass to pass (the
// pc is the anchor itself).
const int kWatched[] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,  UC_ARM_REG_R4,
                        UC_ARM_REG_R5, UC_ARM_REG_R6, UC_ARM_REG_R7,  UC_ARM_REG_R8,  UC_ARM_REG_R9,
                        UC_ARM_REG_R10, UC_ARM_REG_R11, UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR,
                        UC_ARM_REG_CPSR};
static_assert(sizeof kWatched / sizeof kWatched[0] == 16, "kWatchedRegs");

void check(uc_err e, const std::string& what)
{
    if (e != UC_ERR_OK)
        throw std::runtime_error("ARM emulation: " + what + ": " + uc_strerror(e));
}

uint32_t reg(uc_engine* uc, int r)
{
    uint32_t v = 0;
    uc_reg_read(uc, r, &v);
    return v;
}

void set_reg(uc_engine* uc, int r, uint32_t v)
{
    uc_reg_write(uc, r, &v);
}

uint32_t control_register(uc_engine* uc)
{
    uc_arm_cp_reg c{};
    c.cp = 15;
    c.crn = 1;
    uc_reg_read(uc, UC_ARM_REG_CP_REG, &c);
    return static_cast<uint32_t>(c.val);
}

}  // namespace

// ---------------------------------------------------------------- engine callbacks

struct EngineHooks {
    static void block(uc_engine* uc, uint64_t addr, uint32_t size, void* p)
    {
        ArmCpu& c = *static_cast<ArmCpu*>(p);
        const uint32_t a = static_cast<uint32_t>(addr);
        c.block_ = a;
        bool stop = c.stop_now_ || c.icount_ >= c.limit_;
        if (c.flash_memory_ && a - kFlashBase >= kFlashSize) {
            // The program left the flash: from now on the flash is the chip.
            c.flash_switch_ = true;
            stop = true;
        }
        if (!stop && c.irq_wanted_ && !c.irq_masked())
            stop = true;
        if (c.watching_ && c.log_overflow_) {
            // The pass stored more than the log holds: it works, and does
            // not wait.  Its stores need no watching until the anchor comes
            // round again (which counts the pass as one that changed
            // memory), and loops are stepped meanwhile.
            c.watch_stores(false);
        }
        const bool looping = !stop && c.in_counting_loop(a);
        if (!stop && !looping && c.idle_check(a)) {
            c.idle_ = true;
            stop = true;
        }
        if (stop) {
            // The block does not run now; it is the first of the next run.
            uc_emu_stop(uc);
            return;
        }
        if (looping && a == c.loop_->head()) {
            // The first pass after the loop is entered runs as it is: then
            // every access of a pass has been made once, and every value a
            // pass takes over from the one before is in place.
            if (c.loop_fresh_)
                c.loop_fresh_ = false;
            else
                c.step_loop();
        }
        c.last_end_ = a + size;
        // A block lies in one page of the engine's.
        c.code_pages_[a >> 16] |= 1ull << ((a / kPage) & 63);
        // The images are ARM code throughout: four bytes an instruction.
        c.icount_ += size / 4;
        if (a == c.clean_at_) {
            ++c.cache_cleans_;
            if (c.on_cache_clean)
                c.on_cache_clean();
        }
    }

    static void store(uc_engine*, uc_mem_type, uint64_t addr, int size, int64_t, void* p)
    {
        ArmCpu& c = *static_cast<ArmCpu*>(p);
        if (c.log_overflow_)
            return;
        const uint32_t a = static_cast<uint32_t>(addr);
        for (const ArmCpu::Ram& r : c.ram_)
            if (a - r.base < r.size) {
                if (c.log_.size() == ArmCpu::kStoreLog || a - r.base + static_cast<uint32_t>(size) > r.size ||
                    size > 8) {
                    c.log_overflow_ = true;
                    return;
                }
                // What the bytes held before: the waiting-loop check compares
                // them with what they hold at the end of the pass.
                ArmCpu::Store s{a, static_cast<uint8_t>(size), {}};
                std::memcpy(s.old, r.view + (a - r.base), static_cast<size_t>(size));
                c.log_.push_back(s);
                return;
            }
    }

    static bool invalid(uc_engine*, uc_mem_type type, uint64_t addr, int size, int64_t value, void* p)
    {
        ArmCpu& c = *static_cast<ArmCpu*>(p);
        const uint32_t a = static_cast<uint32_t>(addr);
        if (type == UC_MEM_FETCH_PROT && a - kFlashBase < kFlashSize && !c.flash_memory_) {
            // Code in the flash again (the reset entry after a call into
            // SDRAM, an exception handler): the flash becomes memory, if the
            // chip reads its array.
            c.flash_switch_ = true;
            return false;
        }
        ArmCpu::Exception kind = ArmCpu::Exception::DataAbort;
        std::string what;
        switch (type) {
        case UC_MEM_FETCH_UNMAPPED:
        case UC_MEM_FETCH_PROT:
            kind = ArmCpu::Exception::PrefetchAbort;
            what = "instruction fetch at " + hex32(a) + ", where no memory is";
            break;
        case UC_MEM_WRITE_PROT:
            what = "store" + std::to_string(size * 8) + " of " + hex32(static_cast<uint32_t>(value)) + " at " +
                   hex32(a) + " into the flash while code runs from it";
            break;
        case UC_MEM_WRITE_UNMAPPED:
            what = "store" + std::to_string(size * 8) + " of " + hex32(static_cast<uint32_t>(value)) + " at " +
                   hex32(a) + ", an address nobody claims";
            break;
        default:
            what = "load" + std::to_string(size * 8) + " at " + hex32(a) + ", an address nobody claims";
            break;
        }
        c.pending_ = {true, kind, what};
        return false;
    }

    static void interrupt(uc_engine* uc, uint32_t intno, void* p)
    {
        ArmCpu& c = *static_cast<ArmCpu*>(p);
        switch (intno) {
        case kExcpUdef: c.pending_ = {true, ArmCpu::Exception::Undefined, "undefined instruction"}; break;
        case kExcpSwi: c.pending_ = {true, ArmCpu::Exception::Swi, "software interrupt"}; break;
        case kExcpPrefetchAbort:
        case kExcpBkpt: c.pending_ = {true, ArmCpu::Exception::PrefetchAbort, "prefetch abort"}; break;
        case kExcpDataAbort: c.pending_ = {true, ArmCpu::Exception::DataAbort, "data abort"}; break;
        default:
            c.pending_ = {true, ArmCpu::Exception::Undefined, "processor exception " + std::to_string(intno)};
            break;
        }
        uc_emu_stop(uc);
    }

    static uint64_t mmio_read(uc_engine*, uint64_t off, unsigned size, void* p)
    {
        auto* w = static_cast<ArmCpu::Mmio*>(p);
        ArmCpu& c = *w->cpu;
        c.sync_time();
        const uint32_t addr = w->base + static_cast<uint32_t>(off);
        uint64_t v;
        if (size == 8)
            v = c.m_.read(addr, 4) | static_cast<uint64_t>(c.m_.read(addr + 4, 4)) << 32;
        else
            v = c.m_.read(addr, size);
        c.after_access();
        return v;
    }

    static void mmio_write(uc_engine*, uint64_t off, unsigned size, uint64_t value, void* p)
    {
        auto* w = static_cast<ArmCpu::Mmio*>(p);
        ArmCpu& c = *w->cpu;
        c.sync_time();
        const uint32_t addr = w->base + static_cast<uint32_t>(off);
        if (size == 8) {
            c.m_.write(addr, static_cast<uint32_t>(value), 4);
            c.m_.write(addr + 4, static_cast<uint32_t>(value >> 32), 4);
        } else {
            c.m_.write(addr, static_cast<uint32_t>(value), size);
        }
        c.after_access();
    }
};

// ---------------------------------------------------------------- set-up

ArmCpu::ArmCpu(Machine& m) : m_(m)
{
    log_.reserve(kStoreLog);
    m_.set_processor(this);
    open_engine();
}

ArmCpu::~ArmCpu()
{
    close_engine();
}

void ArmCpu::open_engine()
{
    check(uc_open(UC_ARCH_ARM, UC_MODE_ARM, &uc_), "opening the engine");
    check(uc_ctl_set_cpu_model(uc_, UC_CPU_ARM_926), "choosing the ARM926 model");
}

void ArmCpu::close_engine()
{
    if (uc_)
        uc_close(uc_);
    uc_ = nullptr;
    for (Mmio* w : mmio_)
        delete w;
    mmio_.clear();
}

void ArmCpu::map_board(Board& board)
{
    board_ = &board;
    // The SDRAM becomes memory before the next block runs; until then the
    // controller's port, which now answers as memory, serves the rest of
    // the block.
    board.sdramc.on_ready = [this] {
        sdram_switch_ = true;
        stop_now_ = true;
    };
    m_.map_ram(kIramBase, kIramSize);
    for (const Machine::Region& r : m_.regions())
        if (r.base != kFlashBase)
            ram_.push_back({r.base, r.size, r.wview});
    mapped_ = true;
}

void ArmCpu::map_range(uint32_t base, uint32_t size, uint8_t* memory, uint32_t prot)
{
    uc_mem_unmap(uc_, base, size);
    if (memory) {
        check(uc_mem_map_ptr(uc_, base, size, prot, memory), "mapping memory at " + hex32(base));
    } else {
        mmio_.push_back(new Mmio{this, base});
        check(uc_mmio_map(uc_, base, size, EngineHooks::mmio_read, mmio_.back(), EngineHooks::mmio_write,
                          mmio_.back()),
              "mapping the device at " + hex32(base));
    }
}

void ArmCpu::map_flash(bool as_memory)
{
    map_range(kFlashBase, kFlashSize, as_memory ? m_.writable(kFlashBase, kFlashSize) : nullptr,
              UC_PROT_READ | UC_PROT_EXEC);
    flash_memory_ = as_memory;
}

void ArmCpu::map_sdram(bool as_memory)
{
    map_range(kSdramBase, kSdramSize, as_memory ? m_.writable(kSdramBase, kSdramSize) : nullptr, UC_PROT_ALL);
    sdram_memory_ = as_memory;
    // The reset code's MMU maps the first megabyte of addresses onto the
    // start of SDRAM, where it copies the vectors.  This engine checks an
    // instruction fetch's virtual address against its own memory map, so
    // that megabyte of SDRAM is also mapped at 0; nothing else is there on
    // this board, and with the MMU on the firmware cannot reach physical 0.
    uc_mem_unmap(uc_, 0, kVectorAlias);
    if (as_memory)
        check(uc_mem_map_ptr(uc_, 0, kVectorAlias, UC_PROT_ALL, m_.writable(kSdramBase, kVectorAlias)),
              "mapping the vectors' megabyte");
}

void ArmCpu::map_windows()
{
    // The peripheral space that device windows lie in is MMIO from the
    // first window to the last, in runs no longer apart than a megabyte: an
    // access there that no window claims is caught by the bus.  Outside,
    // nothing is mapped.
    std::set<std::pair<uint32_t, uint32_t>> spans;
    for (const Machine::Window& w : m_.windows())
        if (w.base - kFlashBase >= kFlashSize && w.base - kSdramBase >= kSdramSize)  // see map_flash, map_sdram
            spans.insert({w.base / kPage * kPage,
                          static_cast<uint32_t>((static_cast<uint64_t>(w.base) + w.size + kPage - 1) / kPage * kPage)});
    for (auto it = spans.begin(); it != spans.end();) {
        uint32_t base = it->first, end = it->second;
        while (++it != spans.end() && it->first <= end + kMmioGap)
            end = std::max(end, it->second);
        mmio_.push_back(new Mmio{this, base});
        check(uc_mmio_map(uc_, base, end - base, EngineHooks::mmio_read, mmio_.back(), EngineHooks::mmio_write,
                          mmio_.back()),
              "mapping the registers at " + hex32(base));
    }
}

void ArmCpu::add_hooks()
{
    uc_hook h;
    check(uc_hook_add(uc_, &h, UC_HOOK_BLOCK, reinterpret_cast<void*>(EngineHooks::block), this, 1, 0),
          "the block hook");
    check(uc_hook_add(uc_, &h, UC_HOOK_MEM_INVALID, reinterpret_cast<void*>(EngineHooks::invalid), this, 1, 0),
          "the fault hook");
    check(uc_hook_add(uc_, &h, UC_HOOK_INTR, reinterpret_cast<void*>(EngineHooks::interrupt), this, 1, 0),
          "the exception hook");
    // The firmware's data-cache clean does nothing in the engine, which has
    // no cache; the block hook counts the runs of its routine.
    clean_at_ = image_ ? image_->symbol(kCacheCleanRoutine) : 0;
}

void ArmCpu::reset(uint32_t pc)
{
    if (!mapped_)
        throw std::logic_error("ArmCpu::reset before map_board");
    // A fresh engine is a processor straight out of reset: supervisor mode,
    // IRQ and FIQ masked, MMU, caches and high vectors off, empty TLB.
    close_engine();
    open_engine();
    for (const Ram& r : ram_)
        if (r.base != kSdramBase)
            check(uc_mem_map_ptr(uc_, r.base, r.size, UC_PROT_ALL, r.view), "mapping memory at " + hex32(r.base));
    map_sdram(board_->sdramc.ready());
    sdram_switch_ = false;
    map_flash(true);  // the reset entry runs from the flash
    map_windows();
    add_hooks();
    pc_ = pc;
    block_ = pc;
    held_ = false;
    flash_switch_ = false;
    stop_now_ = false;
    idle_ = false;
    pending_ = {};
    anchor_ = 0;
    anchor_wait_ = 0;
    anchor_regs_valid_ = false;
    anchor_idled_ = false;
    watching_ = false;
    store_hooks_.clear();
    start_pass();
    loop_ = nullptr;
    last_end_ = 0;
    heads_.fill({});
    loops_.clear();
    code_pages_.assign((1ull << 32) / kPage / 64, 0);
    irq_wanted_ = m_.irq_line();
}

// ---------------------------------------------------------------- time

void ArmCpu::sync_time()
{
    const uint64_t n = icount_ - synced_;
    synced_ = icount_;
    const uint64_t total = n * kNsNum + time_rest_;
    time_rest_ = total % kNsDen;
    if (total >= kNsDen)
        m_.advance(total / kNsDen);
}

uint64_t ArmCpu::instructions_until(Time t) const
{
    if (t <= m_.now())
        return 1;
    return ((t - m_.now()) * kNsDen + kNsNum - 1) / kNsNum;
}

void ArmCpu::set_limit(Time deadline)
{
    const Time t = std::min({m_.next_event(), deadline, m_.now() + kSlice});
    limit_ = icount_ + instructions_until(t);
}

void ArmCpu::after_access()
{
    ++interactions_;
    set_limit(deadline_);
    // A device that wants the processor stopped (stop_now_) has it stopped
    // by the block hook, before the next block.  Stopped here, inside the
    // block, the engine would start the block again from its first
    // instruction: the access just made, and those before it in the block,
    // would reach the devices twice.
}

// ---------------------------------------------------------------- interrupts and faults

void ArmCpu::poll_interrupts()
{
    irq_wanted_ = m_.irq_line();
}

bool ArmCpu::irq_masked()
{
    return reg(uc_, UC_ARM_REG_CPSR) & kIrqMask;
}

void ArmCpu::unclaimed_access(uint32_t addr, uint32_t value, unsigned size, bool write)
{
    // On the board the bus answers with an error: the processor takes a
    // data abort.
    if (write)
        pending_ = {true, Exception::DataAbort,
                    "store" + std::to_string(size * 8) + " of " + hex32(value) + " at " + hex32(addr) +
                        ", where no device answers"};
    else
        pending_ = {true, Exception::DataAbort,
                    "load" + std::to_string(size * 8) + " at " + hex32(addr) + ", where no device answers"};
    // At once: nothing after the refused access runs, and the processor
    // goes on at the abort vector, not at the block again.
    stop_now_ = true;
    uc_emu_stop(uc_);
}

void ArmCpu::enter(Exception e, uint32_t lr)
{
    uint32_t mode = kModeAbt, vector = 0x10;
    switch (e) {
    case Exception::Undefined: mode = kModeUnd; vector = 0x04; break;
    case Exception::Swi: mode = kModeSvc; vector = 0x08; break;
    case Exception::PrefetchAbort: mode = kModeAbt; vector = 0x0C; break;
    case Exception::DataAbort: mode = kModeAbt; vector = 0x10; break;
    case Exception::Irq: mode = kModeIrq; vector = 0x18; break;
    }
    // What the ARM926 does on taking an exception: the old status into the
    // new mode's SPSR, the return address into its LR, ARM state, IRQs
    // masked, and on to the vector (high or low as the control register
    // says).
    const uint32_t cpsr = reg(uc_, UC_ARM_REG_CPSR);
    set_reg(uc_, UC_ARM_REG_CPSR, (cpsr & ~(kModeMask | kThumb)) | mode | kIrqMask);
    set_reg(uc_, UC_ARM_REG_SPSR, cpsr);
    set_reg(uc_, UC_ARM_REG_LR, lr);
    pc_ = ((control_register(uc_) & kHighVectors) ? 0xFFFF0000u : 0u) + vector;
    ++interactions_;
}

std::string ArmCpu::where(uint32_t addr) const
{
    std::string w = image_ ? image_->where(addr) : "";
    return w.empty() ? hex32(addr) : hex32(addr) + " (" + w + ")";
}

std::string ArmCpu::registers_text()
{
    static const char* const names[] = {"r0", "r1", "r2", "r3",  "r4",  "r5", "r6", "r7",
                                        "r8", "r9", "r10", "r11", "r12", "sp", "lr", "pc"};
    static const int regs[] = {UC_ARM_REG_R0, UC_ARM_REG_R1, UC_ARM_REG_R2,  UC_ARM_REG_R3,
                               UC_ARM_REG_R4, UC_ARM_REG_R5, UC_ARM_REG_R6,  UC_ARM_REG_R7,
                               UC_ARM_REG_R8, UC_ARM_REG_R9, UC_ARM_REG_R10, UC_ARM_REG_R11,
                               UC_ARM_REG_R12, UC_ARM_REG_SP, UC_ARM_REG_LR, UC_ARM_REG_PC};
    std::string text;
    for (int i = 0; i < 16; ++i) {
        char b[24];
        std::snprintf(b, sizeof b, "%s%-3s %08X", i % 4 ? "  " : "\n  ", names[i], reg(uc_, regs[i]));
        text += b;
    }
    char b[64];
    std::snprintf(b, sizeof b, "\n  cpsr %08X  control %08X", reg(uc_, UC_ARM_REG_CPSR), control_register(uc_));
    return text + b;
}

void ArmCpu::fault(Exception e, const std::string& what, uint32_t pc, bool in_block)
{
    // The registers as the fault left them, before the exception changes
    // the mode.
    const std::string text = what + (in_block ? ", in the block at " : ", at ") + where(pc) + registers_text();
    m_.report("ARM926 " + text);
    uint32_t lr = pc + 4;
    if (e == Exception::DataAbort)
        lr = pc + 8;
    else if (e == Exception::Swi)
        lr = pc;
    enter(e, lr);
}

void ArmCpu::handle_stop(int err)
{
    switch (err) {
    case UC_ERR_OK:
        break;
    case UC_ERR_INSN_INVALID: {
        uint32_t insn = 0;
        uc_mem_read(uc_, pc_, &insn, 4);
        pending_ = {};
        fault(Exception::Undefined, "undefined instruction " + hex32(insn), pc_);
        return;
    }
    case UC_ERR_FETCH_PROT:
        if (flash_switch_) {
            if (board_->nor.reads_array())
                return;  // the flash becomes memory before the next run
            flash_switch_ = false;
            pending_ = {};
            fault(Exception::PrefetchAbort, "instruction fetch from the flash while the chip is busy with a command",
                  pc_);
            return;
        }
        [[fallthrough]];
    default:
        if (!pending_.set)
            pending_ = {true, Exception::DataAbort, std::string("emulation stopped: ") +
                                                        uc_strerror(static_cast<uc_err>(err))};
        break;
    }
    if (pending_.set) {
        Pending p = pending_;
        pending_ = {};
        // The engine names no instruction for a faulting access, only the
        // block that made it.
        const bool in_block = p.kind == Exception::DataAbort;
        fault(p.kind, p.what, in_block ? block_ : pc_, in_block);
    }
}

// ---------------------------------------------------------------- running

void ArmCpu::hold_in_reset()
{
    // At once: the processor runs no more, so nothing is made again.
    held_ = true;
    stop_now_ = true;
    uc_emu_stop(uc_);
}

void ArmCpu::run_until(Time deadline, const std::function<bool()>& stop)
{
    deadline_ = deadline;
    while (m_.now() < deadline && !(stop && stop())) {
        if (held_) {
            m_.idle(deadline);
            continue;
        }
        m_.drain_inbox();
        if (flash_switch_) {
            map_flash(!flash_memory_);
            flash_switch_ = false;
        }
        if (sdram_switch_) {
            map_sdram(true);
            sdram_switch_ = false;
        }
        if (irq_wanted_ && !irq_masked())
            enter(Exception::Irq, pc_ + 4);
        set_limit(deadline);
        stop_now_ = false;
        const uc_err err = uc_emu_start(uc_, pc_, kNever, 0, 0);
        pc_ = reg(uc_, UC_ARM_REG_PC);
        sync_time();
        handle_stop(err);
        if (idle_) {
            idle_ = false;
            m_.idle(deadline);
        }
        m_.keep_pace();
    }
}

// ---------------------------------------------------------------- waiting loops

bool ArmCpu::idle_check(uint32_t a)
{
    if (a != anchor_) {
        if (anchor_ != 0 ? ++anchor_blocks_ < kAnchorPatience : anchor_wait_ > 0 && --anchor_wait_ > 0)
            return false;
        // Watch this block from now on.
        anchor_ = a;
        anchor_blocks_ = 0;
        anchor_skip_ = anchor_backoff_ = anchor_misses_ = 0;
        anchor_idled_ = false;
        forget_pass();
        return false;
    }
    anchor_blocks_ = 0;
    if (anchor_skip_ > 0) {
        --anchor_skip_;
        return false;
    }
    const bool interacted = interactions_ != anchor_interactions_;
    if (interacted || ((watching_ || log_overflow_) && !memory_as_before())) {
        // A device was touched, an exception taken or memory changed since
        // the last pass: it worked.
        if (interacted && anchor_idled_) {
            // An interrupt in a loop that has waited here before: most
            // likely it waits again from this pass on, so its stores are
            // watched at once.
            read_watched(anchor_regs_);
            anchor_regs_valid_ = true;
            watch_stores(true);
            start_pass();
            return false;
        }
        // A place where that keeps happening may be an interrupt handler
        // or a polling loop: try another.
        if (++anchor_misses_ >= kAnchorMisses)
            move_anchor();
        forget_pass();
        return false;
    }
    uint32_t regs[kWatchedRegs];
    read_watched(regs);
    if (anchor_regs_valid_ && std::memcmp(regs, anchor_regs_, sizeof regs) == 0) {
        anchor_misses_ = 0;
        if (watching_) {
            anchor_idled_ = true;
            return true;  // a whole pass left registers and memory as they were: it waits
        }
        // The same registers and no device touched: see whether the next
        // pass leaves memory as it finds it.
        watch_stores(true);
        start_pass();
        return false;
    }
    if (anchor_regs_valid_) {
        // A loop that computes in registers: look less often, and after a
        // few misses try another place (the same block may be reached
        // several times a pass with different registers).
        anchor_backoff_ = std::min(anchor_backoff_ ? anchor_backoff_ * 2 : 1, 64u);
        anchor_skip_ = anchor_backoff_;
        if (++anchor_misses_ >= kAnchorMisses) {
            move_anchor();
            forget_pass();
            return false;
        }
    }
    std::memcpy(anchor_regs_, regs, sizeof regs);
    anchor_regs_valid_ = true;
    watch_stores(false);
    start_pass();
    return false;
}

// The next anchor: a block some way on, chosen anew each time so that a
// loop of many blocks is eventually watched at a place it passes once.
void ArmCpu::move_anchor()
{
    anchor_ = 0;
    anchor_seed_ = anchor_seed_ * 1103515245u + 12345u;
    anchor_wait_ = 1 + (anchor_seed_ >> 16) % 1000;
}

void ArmCpu::read_watched(uint32_t* regs)
{
    void* ptrs[kWatchedRegs];
    for (int i = 0; i < kWatchedRegs; ++i)
        ptrs[i] = &regs[i];
    uc_reg_read_batch(uc_, const_cast<int*>(kWatched), ptrs, kWatchedRegs);
}

void ArmCpu::forget_pass()
{
    anchor_regs_valid_ = false;
    watch_stores(false);
    start_pass();
}

void ArmCpu::watch_stores(bool on)
{
    if (on == watching_)
        return;
    // Stores are looked at only while a loop is suspected of waiting: the
    // hook costs every store of the firmware something.
    if (on) {
        for (const Ram& r : ram_) {
            uc_hook h;
            check(uc_hook_add(uc_, &h, UC_HOOK_MEM_WRITE, reinterpret_cast<void*>(EngineHooks::store), this, r.base,
                              static_cast<uint64_t>(r.base) + r.size - 1),
                  "the store hook");
            store_hooks_.push_back(h);
        }
    } else {
        for (uc_hook h : store_hooks_)
            uc_hook_del(uc_, h);
        store_hooks_.clear();
    }
    watching_ = on;
}

void ArmCpu::start_pass()
{
    anchor_interactions_ = interactions_;
    log_.clear();
    log_overflow_ = false;
}

bool ArmCpu::memory_as_before()
{
    if (log_overflow_)
        return false;
    // The first store to a byte logged what it held when the pass began;
    // the pass left memory as it found it when every such byte holds that
    // again.
    ++seen_generation_;
    for (const Store& s : log_)
        for (uint32_t i = 0; i < s.size; ++i) {
            const uint32_t b = s.addr + i;
            uint32_t slot = (b * 2654435761u) >> (32 - kSeenBits);
            while (seen_[slot].generation == seen_generation_ && seen_[slot].addr != b)
                slot = (slot + 1) & ((1u << kSeenBits) - 1);
            if (seen_[slot].generation == seen_generation_)
                continue;  // a later store to a byte already looked at
            seen_[slot] = {b, seen_generation_};
            const uint8_t* now = m_.mem(b);
            if (!now || *now != s.old[i])
                return false;
        }
    return true;
}

// ---------------------------------------------------------------- counting loops

ArmCpu::Mmu ArmCpu::mmu()
{
    uc_arm_cp_reg c{};
    c.cp = 15;
    c.crn = 2;
    uc_reg_read(uc_, UC_ARM_REG_CP_REG, &c);
    return {(control_register(uc_) & 1) != 0, static_cast<uint32_t>(c.val) & 0xFFFFC000u};
}

bool ArmCpu::physical(const Mmu& mmu, uint32_t va, uint32_t* pa) const
{
    if (!mmu.on) {
        *pa = va;
        return true;
    }
    // The firmware maps its address space in sections of a megabyte.
    const uint8_t* entry = m_.mem(mmu.table + (va >> 20) * 4, 4);
    uint32_t d = 0;
    if (!entry)
        return false;
    std::memcpy(&d, entry, 4);
    if ((d & 3) != 2)
        return false;
    *pa = (d & 0xFFF00000u) | (va & 0xFFFFFu);
    return true;
}

bool ArmCpu::fetch(const Mmu& mmu, uint32_t va, uint32_t* word) const
{
    uint32_t pa;
    const uint8_t* p = physical(mmu, va, &pa) ? m_.mem(pa, 4) : nullptr;
    if (!p)
        return false;
    std::memcpy(word, p, 4);
    return true;
}

// Plain memory as a counting loop reads it: SDRAM, the internal SRAM, and
// the flash while it is memory.
class ArmCpu::Memory : public LoopMemory {
public:
    Memory(ArmCpu& cpu, const Mmu& mmu) : cpu_(cpu), mmu_(mmu) {}

    bool read(uint32_t addr, unsigned size, uint32_t* value) override
    {
        uint32_t pa;
        if (!physical(addr, &pa))
            return false;
        const uint8_t* p = cpu_.m_.mem(pa, size);
        uint32_t v = 0;
        std::memcpy(&v, p, size);
        *value = v;
        return true;
    }

    bool physical(uint32_t addr, uint32_t* pa)
    {
        if (!cpu_.physical(mmu_, addr, pa))
            return false;
        for (const Ram& r : cpu_.ram_)
            if (*pa - r.base < r.size && r.size - (*pa - r.base) >= 4)
                return r.base != kSdramBase || cpu_.sdram_memory_;
        return cpu_.flash_memory_ && *pa - kFlashBase <= kFlashSize - 4;
    }

private:
    ArmCpu& cpu_;
    Mmu mmu_;
};

bool ArmCpu::in_counting_loop(uint32_t a)
{
    if (loop_ && loop_->contains(a))
        return true;
    loop_ = nullptr;
    if (a >= last_end_ || last_end_ - a > kLoopReach)
        return false;
    // A jump back: perhaps to the head of a counting loop.
    loop_ = loop_at(a);
    loop_fresh_ = true;
    loop_misses_ = 0;
    return loop_ != nullptr;
}

const ArmCpu::KnownLoop* ArmCpu::loop_at(uint32_t head)
{
    // Loops jump back to their heads all the time: the heads seen last are
    // at hand.
    Head& h = heads_[(head >> 2) % kHeads];
    if (h.addr == head)
        return h.loop;
    auto it = loops_.find(head);
    if (it == loops_.end()) {
        const Mmu m = mmu();
        const auto fetch_word = [&](uint32_t va, uint32_t* w) { return fetch(m, va, w); };
        auto loop = std::make_unique<KnownLoop>();
        loop->counting = std::make_unique<CountingLoop>();
        if (!CountingLoop::decode(head, fetch_word, loop->counting.get())) {
            loop->counting.reset();
            loop->moving = std::make_unique<MovingLoop>();
            // Runs of the cache-clean routine are counted as it starts.
            if (!MovingLoop::decode(head, fetch_word, loop->moving.get()) ||
                (clean_at_ && loop->moving->contains(clean_at_)))
                loop.reset();
        }
        it = loops_.emplace(head, std::move(loop)).first;
    }
    h = {head, it->second.get()};
    return h.loop;
}

bool ArmCpu::loop_state(const Mmu& mmu, LoopState* at)
{
    // r0..r14 and the status register; the loops are ARM code.
    uint32_t regs[kWatchedRegs];
    read_watched(regs);
    if (regs[15] & kThumb)
        return false;
    std::copy(regs, regs + 15, at->r);
    at->nzcv = regs[15] & 0xF0000000u;
    return loop_->unchanged([&](uint32_t va, uint32_t* w) { return fetch(mmu, va, w); });
}

void ArmCpu::set_loop_state(const LoopState& from, const LoopState& to)
{
    for (int i = 0; i < 15; ++i)
        if (to.r[i] != from.r[i])
            set_reg(uc_, kWatched[i], to.r[i]);
    if (to.nzcv != from.nzcv)
        set_reg(uc_, UC_ARM_REG_APSR_NZCV, to.nzcv);
}

void ArmCpu::step_loop()
{
    if (loop_->counting)
        step_counting_loop();
    else
        step_moving_loop();
}

void ArmCpu::step_counting_loop()
{
    // The passes that end before the next stop is due.  While the
    // waiting-loop check logs stores, the loop runs as it is: its stores
    // count there.
    const CountingLoop& loop = *loop_->counting;
    const uint64_t n = loop.instructions();
    if (!stepping_ || watching_ || limit_ <= icount_ + n || loop_misses_ >= kLoopMisses)
        return;
    const uint64_t max = (limit_ - icount_ - 1) / n;
    const Mmu m = mmu();
    LoopState at;
    if (!loop_state(m, &at))
        return;
    Memory memory(*this, m);
    const CountingLoop::Step s = loop.step(at, max, memory);
    if (!s.passes) {
        // A loop that polls a device, say, or one that leaves now.  (A copy
        // of a copy is right only after two passes.)
        ++loop_misses_;
        return;
    }
    loop_misses_ = 0;
    std::vector<uint32_t> where(s.memory.size());
    for (size_t i = 0; i < s.memory.size(); ++i)
        if (!memory.physical(s.memory[i].addr, &where[i]) || where[i] - kFlashBase < kFlashSize)
            return;  // the flash: a store there faults

    // The state the last pass leaves.
    set_loop_state(at, s.state);
    for (size_t i = 0; i < s.memory.size(); ++i)
        check(uc_mem_write(uc_, where[i], &s.memory[i].value, 4), "storing a counting loop's word");
    icount_ += s.passes * n;
    stepped_ += s.passes * n;
}

// ---------------------------------------------------------------- moving loops

// Plain memory as a moving loop's passes reach it: SDRAM (once set up) and
// the internal SRAM, and the flash for loads while it is memory; with the
// MMU on, a section at a time.  The pages of the loop's own code take no
// stores.
class ArmCpu::PlainRam : public LoopRam {
public:
    PlainRam(ArmCpu& cpu, const Mmu& mmu, uint32_t code_begin, uint32_t code_end)
        : cpu_(cpu), mmu_(mmu), code_begin_(code_begin), code_end_(code_end)
    {
    }

    bool span(uint32_t va, Span* s) override
    {
        uint32_t pa;
        if (!cpu_.physical(mmu_, va, &pa))
            return false;
        uint64_t begin = 0, end = 0;
        uint8_t* host = nullptr;
        bool writable = true;
        for (const Ram& r : cpu_.ram_)
            if (pa - r.base < r.size) {
                if (r.base == kSdramBase && !cpu_.sdram_memory_)
                    return false;
                begin = r.base;
                end = begin + r.size;
                host = r.view;
            }
        if (!host) {
            if (!cpu_.flash_memory_ || pa - kFlashBase >= kFlashSize)
                return false;
            begin = kFlashBase;
            end = begin + kFlashSize;
            host = cpu_.m_.writable(kFlashBase, kFlashSize);
            writable = false;
        }
        const uint8_t* const region = host;
        const uint64_t region_base = begin;
        if (mmu_.on) {
            begin = std::max<uint64_t>(begin, pa & 0xFFF00000u);
            end = std::min<uint64_t>(end, (pa & 0xFFF00000u) + (1u << 20));
        }
        if (pa < code_begin_) {
            end = std::min<uint64_t>(end, code_begin_);
        } else if (pa >= code_end_) {
            begin = std::max<uint64_t>(begin, code_end_);
        } else {
            begin = std::max<uint64_t>(begin, code_begin_);
            end = std::min<uint64_t>(end, code_end_);
            writable = false;
        }
        s->begin = va - static_cast<uint32_t>(pa - begin);
        s->size = static_cast<uint32_t>(end - begin);
        s->host = const_cast<uint8_t*>(region) + (begin - region_base);
        s->writable = writable;
        return true;
    }

private:
    ArmCpu& cpu_;
    Mmu mmu_;
    uint32_t code_begin_, code_end_;  // physical
};

void ArmCpu::step_moving_loop()
{
    // Passes that end before the next stop is due, as with counting loops.
    const MovingLoop& loop = *loop_->moving;
    if (!stepping_ || watching_ || limit_ <= icount_ + 1 || loop_misses_ >= kLoopMisses)
        return;
    const Mmu m = mmu();
    LoopState at;
    if (!loop_state(m, &at))
        return;
    uint32_t code_begin, code_end;
    if (!physical(m, loop.low(), &code_begin) || !physical(m, loop.high() - 1, &code_end) || code_end < code_begin)
        return;
    PlainRam ram(*this, m, code_begin / kPage * kPage, (code_end / kPage + 1) * kPage);
    LoopState after = at;
    const MovingLoop::Run run = loop.run(&after, limit_ - icount_ - 1, ram);
    if (!run.passes) {
        // A loop that reads a device, say, or one that leaves now.
        ++loop_misses_;
        return;
    }
    loop_misses_ = 0;
    set_loop_state(at, after);
    icount_ += run.instructions;
    stepped_ += run.instructions;
    // Code that ran from a page stored into is translated again.
    for (uint32_t page : run.pages)
        if ((code_pages_[page >> 16] >> ((page / kPage) & 63)) & 1)
            check(uc_ctl_remove_cache(uc_, page, static_cast<uint64_t>(page) + kPage), "dropping translated code");
}

}  // namespace sim::arm
