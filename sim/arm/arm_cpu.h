// The board's processor, an ARM926EJ-S, under emulation (Unicorn 2): it runs
// a board image of the arm tree on the simulated board.
//
// The internal SRAM and the NOR flash are memory of the emulator; so is the
// SDRAM once its controller has set it up (until then every access to it
// goes to the SDRAM controller's model, which reports it).
// Every peripheral window is MMIO whose accesses go through the machine's
// bus to the same device models as the host build.  The flash is plain
// memory while the processor runs code from it (the reset entry and the
// boot code); while it runs from SDRAM every flash access goes to the NOR
// model, so commands, status polling and programming behave like the chip.
//
// Time follows the instructions executed, kCyclesPerInstruction at the
// processor clock.  Between translated blocks the processor enters the IRQ
// exception itself when the interrupt controller's line is up and its I bit
// is clear, as the ARM926 does.  A loop that waits provably (it comes back
// to the same place with the same registers, and since then no memory has
// changed and no device was touched) has nothing to do until the next event:
// time goes straight there, as it would while the board spins.  A loop that
// only counts toward its exit (counting_loop.h) is stepped ahead, as many
// passes at once as it makes before it leaves or the next event is due: the
// registers, flags and stored words they leave, and the instructions they
// take, so time is as if it had run them.  A small loop that moves a
// pointer or a counter through plain memory (moving_loop.h: fills, copies,
// searches) has its passes run in host code straight on that memory, as
// many as end before the next event is due and stay on plain memory: the
// registers, flags, memory and instructions are those of running them.
// The waiting-loop check does not look at counting or moving loops, which
// never wait.
//
// Faults the firmware would take on the board (undefined instruction,
// prefetch and data aborts, an access to an address nobody claims) are
// reported with the registers and the address, and the processor takes the
// exception as the ARM926 does.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "arm/counting_loop.h"
#include "arm/moving_loop.h"
#include "board.h"
#include "machine.h"

struct uc_struct;

namespace sim::arm {

class ElfImage;

class ArmCpu : public Processor {
public:
    // The i.MX21's core clock (MPLL 266 MHz, FCLK = MPLL).
    static constexpr uint64_t kClockHz = 266000000;
    // Cycles per instruction, as a fraction (3/2 = 1.5): what the ARM926's
    // five-stage pipeline takes on this firmware's mix with its caches on:
    // one cycle for most instructions, two to three for loads that are used
    // at once, taken branches and block transfers.
    static constexpr uint64_t kCyclesNum = 3, kCyclesDen = 2;
    // The i.MX21's internal SRAM: the only memory that works at reset.
    static constexpr uint32_t kIramBase = 0xFFFFE800, kIramSize = 0x1800;

    // Creates the processor and makes it the machine's, before the board
    // maps its memory.
    explicit ArmCpu(Machine& m);
    ~ArmCpu() override;
    ArmCpu(const ArmCpu&) = delete;
    ArmCpu& operator=(const ArmCpu&) = delete;

    bool memory_in_window() const override { return false; }
    void poll_interrupts() override;
    void unclaimed_access(uint32_t addr, uint32_t value, unsigned size, bool write) override;

    // Adds the internal SRAM to the machine; once, after the board is
    // built.  Its memory and peripheral windows go into the emulator at
    // every reset.
    void map_board(Board& board);
    // The image whose function names fault reports show.
    void set_image(const ElfImage* image) { image_ = image; }

    // Reset: a fresh processor (supervisor mode, IRQ and FIQ masked, MMU and
    // caches off) that starts at pc.
    void reset(uint32_t pc);
    // The board held in reset: the processor runs no more, time goes on.
    void hold_in_reset();
    // Runs the firmware until virtual time reaches deadline, or until stop
    // (looked at between runs of the engine) holds.
    void run_until(Time deadline, const std::function<bool()>& stop = nullptr);

    uint64_t instructions() const { return icount_; }
    // How often the firmware has cleaned its data cache (run the image's
    // routine of that name).
    static constexpr const char* kCacheCleanRoutine = "LCD_CleanDataCache";
    uint64_t cache_cleans() const { return cache_cleans_; }
    // Called as each clean begins, when memory holds all that the firmware
    // stored before it: what the LCD controller could see of the frame
    // buffer on the board from then on.
    std::function<void()> on_cache_clean;
    // Counting and moving loops stepped ahead (on) or run instruction by
    // instruction, and the instructions stepped over so far.
    void set_loop_stepping(bool on) { stepping_ = on; }
    uint64_t stepped_instructions() const { return stepped_; }

private:
    enum class Exception { Undefined, Swi, PrefetchAbort, DataAbort, Irq };
    struct Pending {
        bool set = false;
        Exception kind = Exception::DataAbort;
        std::string what;
    };
    struct Mmio {
        ArmCpu* cpu;
        uint32_t base;
    };

    void open_engine();
    void close_engine();
    void map_flash(bool as_memory);
    // The SDRAM (and its alias at 0) as memory, or before its set-up as the
    // controller's MMIO.
    void map_sdram(bool as_memory);
    // A range as memory with prot, or as MMIO that goes through the bus.
    void map_range(uint32_t base, uint32_t size, uint8_t* memory, uint32_t prot);
    void map_windows();
    void add_hooks();

    void sync_time();
    void set_limit(Time deadline);
    uint64_t instructions_until(Time t) const;
    bool irq_masked();
    // Takes the exception as the ARM926 does, with lr for the new mode's LR.
    void enter(Exception e, uint32_t lr);
    // Reports the fault and takes the exception; in_block: pc is the start
    // of the block that faulted somewhere.
    void fault(Exception e, const std::string& what, uint32_t pc, bool in_block = false);
    // What ended a run of the engine: a fault to report and take, or the
    // flash to map again.
    void handle_stop(int err);
    std::string registers_text();
    std::string where(uint32_t addr) const;

    // The engine's callbacks (arm_cpu.cpp).
    friend struct EngineHooks;
    void after_access();
    bool idle_check(uint32_t addr);

    Machine& m_;
    Board* board_ = nullptr;
    uc_struct* uc_ = nullptr;
    const ElfImage* image_ = nullptr;
    std::vector<Mmio*> mmio_;  // one per MMIO range, alive while the engine is
    bool mapped_ = false;

    uint32_t pc_ = 0;          // where the next run starts
    uint32_t block_ = 0;       // the block running (or about to)
    uint64_t icount_ = 0;      // instructions executed
    uint32_t clean_at_ = 0;    // the firmware's cache-clean routine
    uint64_t cache_cleans_ = 0;
    uint64_t limit_ = 0;       // stop when icount_ reaches it
    uint64_t synced_ = 0;      // instructions already turned into time
    uint64_t time_rest_ = 0;   // the part of a nanosecond not yet turned
    Time deadline_ = 0;
    bool irq_wanted_ = false;  // the interrupt line is up
    // Stop before the next block: a device asked for it (after_access), or
    // the processor is held in reset or takes an abort for an access nobody
    // answered (then the engine is stopped at once as well).
    bool stop_now_ = false;
    bool held_ = false;        // in reset for good

    // The flash: memory while code runs from it, the NOR model otherwise.
    bool flash_memory_ = true;
    // SDRAM: memory once its controller has set it up, the model before.
    bool sdram_memory_ = false;
    bool flash_switch_ = false;
    bool sdram_switch_ = false;  // the SDRAM has just been set up

    Pending pending_;          // an exception to take at the next stop

    // Waiting loops: a block revisited with the same registers, memory as
    // it was, and no device touched and no exception taken in between
    // (idle_check).
    static constexpr int kWatchedRegs = 16;
    static constexpr size_t kStoreLog = 1024;
    static constexpr unsigned kSeenBits = 14;  // 16384 byte slots > 8 x kStoreLog
    struct Store {
        uint32_t addr;
        uint8_t size;
        uint8_t old[8];
    };
    struct Seen {
        uint32_t addr;
        uint32_t generation;
    };
    void start_pass();
    void forget_pass();
    void move_anchor();
    void read_watched(uint32_t* regs);
    bool memory_as_before();
    void watch_stores(bool on);
    bool watching_ = false;                // the store hook is on
    std::vector<size_t> store_hooks_;
    uint64_t interactions_ = 0;   // device accesses and exceptions
    std::vector<Store> log_;      // stores to RAM since the pass began
    bool log_overflow_ = false;
    std::vector<Seen> seen_ = std::vector<Seen>(1u << kSeenBits, Seen{0, 0});
    uint32_t seen_generation_ = 0;
    uint32_t anchor_ = 0;
    uint64_t anchor_interactions_ = 0;
    bool anchor_regs_valid_ = false;
    bool anchor_idled_ = false;  // the loop has waited at this anchor before
    uint32_t anchor_regs_[kWatchedRegs] = {};
    uint64_t anchor_blocks_ = 0;
    unsigned anchor_skip_ = 0, anchor_backoff_ = 0, anchor_misses_ = 0;
    uint64_t anchor_wait_ = 0;   // blocks until a new anchor is chosen
    uint32_t anchor_seed_ = 1;
    bool idle_ = false;

    // Counting and moving loops: the one running (its head reached again by
    // a jump back, every block since one of its own), and those found so
    // far by their heads (null: no loop there).
    class Memory;
    class PlainRam;
    struct Mmu {
        bool on;
        uint32_t table;
    };
    struct KnownLoop {
        std::unique_ptr<CountingLoop> counting;
        std::unique_ptr<MovingLoop> moving;
        uint32_t head() const { return counting ? counting->head() : moving->head(); }
        bool contains(uint32_t a) const { return counting ? counting->contains(a) : moving->contains(a); }
        bool unchanged(const CountingLoop::Fetch& f) const
        {
            return counting ? counting->unchanged(f) : moving->unchanged(f);
        }
    };
    Mmu mmu();
    bool physical(const Mmu& mmu, uint32_t va, uint32_t* pa) const;
    bool fetch(const Mmu& mmu, uint32_t va, uint32_t* word) const;
    bool in_counting_loop(uint32_t addr);
    const KnownLoop* loop_at(uint32_t head);
    void step_loop();
    // The processor's state at the running loop's head; false in Thumb
    // state or when the loop's code is no longer what was decoded.  And
    // the change to another state.
    bool loop_state(const Mmu& mmu, LoopState* at);
    void set_loop_state(const LoopState& from, const LoopState& to);
    void step_counting_loop();
    void step_moving_loop();
    bool stepping_ = true;
    uint64_t stepped_ = 0;
    const KnownLoop* loop_ = nullptr;
    bool loop_fresh_ = false;     // no whole pass yet since it was entered
    unsigned loop_misses_ = 0;    // tries to step it that did not
    uint32_t last_end_ = 0;       // where the last block that ran ends
    std::unordered_map<uint32_t, std::unique_ptr<KnownLoop>> loops_;
    struct Head {
        uint32_t addr = 1;  // no instruction starts there
        const KnownLoop* loop = nullptr;
    };
    static constexpr size_t kHeads = 256;
    std::array<Head, kHeads> heads_{};
    // The pages (by virtual address) that code has run from since the
    // engine was opened: the engine may hold translations of them, which a
    // moving loop's stores there must throw away.
    std::vector<uint64_t> code_pages_;

    // SDRAM and internal SRAM, for the store hook's comparisons.
    struct Ram {
        uint32_t base, size;
        uint8_t* view;
    };
    std::vector<Ram> ram_;
};

}  // namespace sim::arm
