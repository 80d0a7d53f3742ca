// The simulated board: memory regions, the bus that dispatches register
// accesses to device models, virtual time with an event queue, interrupt
// delivery, and turn-taking with a controlling thread (a test or a front
// end).
//
// Two kinds of processor run firmware on it.  The host build runs the
// firmware's code natively (NativeCpu, the default): board memory sits in a
// window of this process's address space that mirrors the board's 32-bit
// address space (board address a is at hw_memory_window + a, the one
// translation the firmware's board layer makes), register accesses come in through
// board/hw.h, time moves at those accesses and at the firmware's wait hook,
// and interrupts are delivered by calling the firmware's irq_handler.
// arm-board runs a board image on an emulated ARM926 (sim/arm): memory may
// sit anywhere, register accesses come from the emulator, time follows the
// instructions executed, and the processor takes interrupts itself.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <condition_variable>
#include <string>
#include <vector>

// Where the board's address space starts in this process, once the native
// processor's first region is mapped (board/hw.h translates with it).
extern uint8_t* hw_memory_window;

namespace sim {

using Time = uint64_t;  // virtual nanoseconds since power-on

constexpr Time kMicrosecond = 1000;
constexpr Time kMillisecond = 1000 * kMicrosecond;
constexpr Time kSecond = 1000 * kMillisecond;

// A register-level device model claiming one address window.
class Device {
public:
    virtual ~Device() = default;
    virtual const char* name() const = 0;
    // off is the offset inside the window, size 1, 2 or 4.
    virtual uint32_t read(uint32_t off, unsigned size) = 0;
    virtual void write(uint32_t off, uint32_t value, unsigned size) = 0;
};

// One bus access as the models saw it (kept while tracing is on).
struct Access {
    Time time;
    uint32_t addr;
    uint32_t value;
    uint8_t size;
    bool write;
};

enum class Speed { Max, Realtime };

// What runs the firmware's code: how interrupts reach it, what an access to
// an address nobody claims does to it, and where board memory must sit.
class Processor {
public:
    virtual ~Processor() = default;
    // True when firmware code reaches board memory through plain pointers,
    // so every region must sit in the window at its board address.
    virtual bool memory_in_window() const = 0;
    // The interrupt line changed, or time advanced: take the interrupt if it
    // is due and not masked.
    virtual void poll_interrupts() = 0;
    // An access to an address that no region and no device claims.
    virtual void unclaimed_access(uint32_t addr, uint32_t value, unsigned size, bool write) = 0;
};

class Machine;

// The host build's processor: the firmware's own code, run natively.  An
// interrupt is delivered by calling the firmware's IRQ entry at the next
// safe point where the firmware does not mask IRQs; an unclaimed access is
// reported (once per address) and reads as 0.
class NativeCpu : public Processor {
public:
    explicit NativeCpu(Machine& m) : m_(m) {}
    bool memory_in_window() const override { return true; }
    void poll_interrupts() override;
    void unclaimed_access(uint32_t addr, uint32_t value, unsigned size, bool write) override;

    void set_masked(bool masked);
    bool masked() const { return masked_; }
    bool in_irq() const { return in_irq_; }
    void set_entry(void (*entry)()) { entry_ = entry; }
    // Interrupts delivered so far.
    uint64_t entries() const { return entries_; }

private:
    Machine& m_;
    bool masked_ = true;  // IRQs are off until the firmware enables them
    bool in_irq_ = false;
    uint64_t entries_ = 0;
    void (*entry_)() = nullptr;
    std::vector<uint32_t> reported_addrs_;
};

class Machine {
public:
    // One board per process: the fixed mappings and the firmware's globals
    // exist once.
    static Machine& instance();

    // ---- the processor ----
    // Installs the processor that runs the firmware; before any memory is
    // mapped.  The default is the native one.
    void set_processor(Processor* p) { cpu_ = p; }
    Processor& processor() { return *cpu_; }

    // ---- memory ----
    // Board memory: the firmware's view of each region sits in the window at
    // its board address when the processor needs that, anywhere otherwise.
    struct Region {
        uint32_t base, size;
        uint8_t* view;      // the firmware's view
        uint8_t* wview;     // writable view of the same bytes
        bool read_only;     // the firmware may not store into it
    };
    // Maps anonymous memory (zero-filled).
    void map_ram(uint32_t base, uint32_t size);
    // Maps a file-backed region.  The firmware's view is read-only when
    // read_only is set; writable() gives the model a writable view of the
    // same bytes.  A missing file is created filled with fill.
    void map_file(uint32_t base, uint32_t size, const std::string& path, bool read_only,
                  uint8_t fill);
    const std::vector<Region>& regions() const { return regions_; }
    // Host pointer for [phys, phys+len) when it lies in one region, else null.
    uint8_t* mem(uint32_t phys, uint32_t len = 1);
    // Writable pointer (also for read-only regions), else null.
    uint8_t* writable(uint32_t phys, uint32_t len = 1);

    // ---- bus ----
    struct Window {
        uint32_t base, size;
        Device* dev;
        bool alone;  // no other window shares an address with it
    };
    void attach(uint32_t base, uint32_t size, Device* dev);
    const std::vector<Window>& windows() const { return windows_; }
    uint32_t read(uint32_t addr, unsigned size);
    void write(uint32_t addr, uint32_t value, unsigned size);

    // Problems the models noticed (unclaimed addresses, unknown offsets).
    // Each is also printed on stderr unless quiet.
    void report(const std::string& text);
    const std::vector<std::string>& reports() const { return reports_; }
    void clear_reports() { reports_.clear(); }
    bool quiet = false;

    // Access trace for tests.
    bool tracing = false;
    std::vector<Access> trace;

    // ---- time ----
    Time now() const { return now_; }
    using EventId = std::pair<Time, uint64_t>;
    EventId schedule(Time at, std::function<void()> fn);
    EventId schedule_in(Time delay, std::function<void()> fn) { return schedule(now_ + delay, std::move(fn)); }
    void cancel(EventId id);
    bool pending(EventId id) const { return events_.count(id) != 0; }
    // When the next event is due; UINT64_MAX with none.
    Time next_event() const { return events_.empty() ? UINT64_MAX : events_.begin()->first.first; }
    // Runs due events up to now + dt, then lets the processor take
    // interrupts.
    void advance(Time dt);
    // The firmware's wait hook, the wait of a pass that may have changed
    // something: a quantum of time, never beyond the next event, however
    // long the loop has gone without touching a device; a safe point.
    void wait_hook();
    // The firmware's idle hook, the wait of a loop whose pass found nothing
    // to do: it read registers and memory and changed nothing, and the
    // passes after it find the same until an event or an interrupt changes
    // something, or, with a bound, until bound ns have gone since its reads.
    // When the passes before it at this site went alike (the same time at
    // the bus, nothing else in between), it stands for as many more as fit
    // before the next event, the controlling thread's deadline, the bound
    // and passes: time moves as those passes would have moved it, so the
    // loop ends when and as it would have.  Then it waits as wait_hook does.
    // Returns the passes it stood for, 1..passes; site tells the loops apart.
    uint32_t idle_hook(const void* site, uint32_t passes, Time bound = kUnbounded);
    static constexpr Time kUnbounded = UINT64_MAX;
    // The firmware's pause between polls of a device that answers alike
    // until its next event: time goes there (with none, a millisecond on),
    // never beyond the controlling thread's deadline; a safe point.
    void pause_hook();
    // The firmware's short fixed pause, a count-down of passes empty loop
    // passes on the board: the time they take there goes by, in steps that
    // end at each event on the way; a safe point.
    void spin_hook(uint32_t passes);
    // The processor has nothing to do until something happens: time goes
    // to the next event (in real time, when the wall clock gets there or
    // work comes in, whichever is first).
    void idle(Time limit = UINT64_MAX);
    // In real time: waits until the wall clock reaches now (or work comes
    // in).  Does nothing at full speed.
    void keep_pace();

    Time access_cost = 50;          // per register access
    Time wait_quantum = kMicrosecond;
    // A pass of a count-down pause on the board: seven instructions, some
    // 1.5 cycles each at 266 MHz.
    Time spin_pass = 40;
    Speed speed = Speed::Max;

    // ---- interrupts ----
    // The interrupt controller's IRQ output.
    void set_irq_line(bool level);
    bool irq_line() const { return irq_line_; }
    // The native processor's IRQ mask and the firmware's IRQ entry (its own
    // irq_handler), for the host build.
    void set_cpu_irq_masked(bool masked) { native_.set_masked(masked); }
    bool cpu_irq_masked() const { return native_.masked(); }
    void set_irq_entry(void (*entry)()) { native_.set_entry(entry); }

    // ---- front ends ----
    // Work handed in from another thread, run on the firmware thread at the
    // next safe point.
    void post(std::function<void()> fn);
    // Runs the work handed in so far; a safe point.
    void drain_inbox();

    // ---- board reset ----
    // The one way the board is reset (the watchdog's time-out or its
    // software reset), called on the firmware thread.  The program that
    // runs the board restarts the firmware from power-on in its handler;
    // without a handler (a test's in-process board) the board stays held in
    // reset: the firmware runs no more and firmware_returned() holds.
    void set_board_reset_handler(std::function<void()> fn) { board_reset_handler_ = std::move(fn); }
    void reset_board();
    unsigned board_resets() const { return board_resets_; }

    // ---- turn-taking with a controlling thread ----
    // Starts fn on a new firmware thread that waits for the first turn.
    void start_firmware(std::function<void()> fn);
    // Called on the controlling thread: lets the firmware run until stop()
    // holds at a safe point or until virtual time reaches deadline.
    // Returns true when stop() held.
    bool run_until(const std::function<bool()>& stop, Time deadline);
    void run_for(Time dt) { run_until(nullptr, now_ + dt); }
    bool firmware_started() const { return fw_started_; }
    bool firmware_returned() const { return fw_done_; }

private:
    Machine() : native_(*this), cpu_(&native_) {}
    Region* region_of(uint32_t phys, uint32_t len);
    const Window* window_of(uint32_t addr) const;
    void run_events_until(Time target);
    Time wait_target();
    void wait_step(Time target);
    void safe_point();
    Time pace_to(Time target);
    uint8_t* place(uint32_t base, uint32_t size, int prot, int flags, int fd);

    NativeCpu native_;
    Processor* cpu_;
    std::vector<Region> regions_;
    std::vector<Window> windows_;
    mutable size_t last_window_ = SIZE_MAX;  // a window that is alone
    std::vector<std::string> reports_;

    Time now_ = 0;
    uint64_t seq_ = 0;
    std::map<EventId, std::function<void()>> events_;
    // What the idle hook compares from one pass of a loop to the next.
    uint64_t events_run_ = 0;
    uint64_t main_writes_ = 0;  // register writes outside interrupt handlers
    struct IdlePass {
        const void* site = nullptr;  // null: the last hook was no idle hook
        Time left = 0;               // when that hook returned
        uint64_t events = 0, irqs = 0, writes = 0;
        bool measured = false;  // its pass's time at the bus is known
        Time accesses = 0;
    } idle_pass_;

    bool irq_line_ = false;

    std::mutex inbox_mu_;
    std::vector<std::function<void()>> inbox_;
    bool inbox_nonempty_ = false;

    // turn-taking
    std::mutex turn_mu_;
    std::condition_variable turn_cv_;
    bool fw_turn_ = false;
    bool fw_started_ = false;
    bool fw_done_ = false;
    std::function<bool()> stop_;
    Time deadline_ = 0;
    bool stopped_by_pred_ = false;

    std::function<void()> board_reset_handler_;
    unsigned board_resets_ = 0;

    // real-time pacing
    bool pace_started_ = false;
    Time pace_virtual0_ = 0;
    int64_t pace_wall0_ns_ = 0;
};

}  // namespace sim
