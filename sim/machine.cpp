#include "machine.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

uint8_t* hw_memory_window = nullptr;

namespace sim {

namespace {

std::condition_variable inbox_cv;

// The board's 32-bit address space.
constexpr size_t kWindowSize = size_t{1} << 32;

int64_t wall_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string hex(uint32_t v)
{
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", v);
    return b;
}

}  // namespace

Machine& Machine::instance()
{
    static Machine* m = new Machine();  // never destroyed: the firmware may still hold it
    return *m;
}

// ---------------------------------------------------------------- processor

void NativeCpu::set_masked(bool masked)
{
    masked_ = masked;
    if (!masked)
        poll_interrupts();
}

void NativeCpu::poll_interrupts()
{
    // As on the processor, an IRQ entry masks IRQs until the handler returns.
    while (m_.irq_line() && !masked_ && !in_irq_ && entry_) {
        ++entries_;
        in_irq_ = true;
        masked_ = true;
        entry_();
        masked_ = false;
        in_irq_ = false;
    }
}

void NativeCpu::unclaimed_access(uint32_t addr, uint32_t value, unsigned size, bool write)
{
    if (std::find(reported_addrs_.begin(), reported_addrs_.end(), addr) != reported_addrs_.end())
        return;
    reported_addrs_.push_back(addr);
    if (write)
        m_.report("write" + std::to_string(size * 8) + " of " + hex(value) + " at unclaimed address " + hex(addr));
    else
        m_.report("read" + std::to_string(size * 8) + " at unclaimed address " + hex(addr));
}

// ---------------------------------------------------------------- memory

uint8_t* Machine::place(uint32_t base, uint32_t size, int prot, int flags, int fd)
{
    uint8_t* want = nullptr;
    if (cpu_->memory_in_window()) {
        if (!hw_memory_window) {
            // The board's whole address space, reserved and inaccessible:
            // what no region fills faults, as an address where nothing
            // answers would on the board.
            void* w = mmap(nullptr, kWindowSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
            if (w == MAP_FAILED)
                throw std::runtime_error(std::string("cannot reserve the board's address space: ") + std::strerror(errno));
            hw_memory_window = static_cast<uint8_t*>(w);
        }
        want = hw_memory_window + base;
    }
    // Inside the window MAP_FIXED only replaces the window's own reservation.
    void* p = mmap(want, size, prot, flags | (want ? MAP_FIXED : 0), fd, 0);
    if (p == MAP_FAILED)
        throw std::runtime_error("cannot map board memory at " + hex(base) + ": " + std::strerror(errno));
    return static_cast<uint8_t*>(p);
}

void Machine::map_ram(uint32_t base, uint32_t size)
{
    uint8_t* p = place(base, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1);
    regions_.push_back({base, size, p, p, false});
}

void Machine::map_file(uint32_t base, uint32_t size, const std::string& path, bool read_only, uint8_t fill)
{
    int fd = open(path.c_str(), O_RDWR | O_CREAT, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    struct stat st {};
    fstat(fd, &st);
    if (static_cast<uint64_t>(st.st_size) < size) {
        // Grow the file to its full size; what was not there yet reads as fill.
        std::vector<uint8_t> block(65536, fill);
        off_t pos = st.st_size;
        while (pos < static_cast<off_t>(size)) {
            size_t n = std::min<size_t>(block.size(), size - pos);
            if (pwrite(fd, block.data(), n, pos) != static_cast<ssize_t>(n)) {
                close(fd);
                throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
            }
            pos += n;
        }
    }
    uint8_t* view = place(base, size, read_only ? PROT_READ : PROT_READ | PROT_WRITE, MAP_SHARED, fd);
    uint8_t* wview = view;
    if (read_only) {
        void* w = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (w == MAP_FAILED) {
            close(fd);
            throw std::runtime_error("cannot map " + path + ": " + std::strerror(errno));
        }
        wview = static_cast<uint8_t*>(w);
    }
    close(fd);
    regions_.push_back({base, size, view, wview, read_only});
}

Machine::Region* Machine::region_of(uint32_t phys, uint32_t len)
{
    for (auto& r : regions_)
        if (phys >= r.base && static_cast<uint64_t>(phys) + len <= static_cast<uint64_t>(r.base) + r.size)
            return &r;
    return nullptr;
}

uint8_t* Machine::mem(uint32_t phys, uint32_t len)
{
    Region* r = region_of(phys, len);
    return r ? r->view + (phys - r->base) : nullptr;
}

uint8_t* Machine::writable(uint32_t phys, uint32_t len)
{
    Region* r = region_of(phys, len);
    return r ? r->wview + (phys - r->base) : nullptr;
}

// ---------------------------------------------------------------- bus

void Machine::attach(uint32_t base, uint32_t size, Device* dev)
{
    // A window attached earlier keeps the addresses it shares with a later
    // one (a small device inside a larger block).
    bool alone = true;
    for (Window& w : windows_)
        if (base < w.base + static_cast<uint64_t>(w.size) && w.base < base + static_cast<uint64_t>(size))
            alone = w.alone = false;
    windows_.push_back({base, size, dev, alone});
}

const Machine::Window* Machine::window_of(uint32_t addr) const
{
    // Loops poll one device: look where the last access went first, when
    // that window shares no address with another.
    if (last_window_ < windows_.size()) {
        const Window& w = windows_[last_window_];
        if (addr >= w.base && addr - w.base < w.size)
            return &w;
    }
    for (size_t i = 0; i < windows_.size(); ++i) {
        const Window& w = windows_[i];
        if (addr >= w.base && addr - w.base < w.size) {
            if (w.alone)
                last_window_ = i;
            return &w;
        }
    }
    return nullptr;
}

void Machine::report(const std::string& text)
{
    reports_.push_back(text);
    if (!quiet)
        std::fprintf(stderr, "board: %s\n", text.c_str());
}

uint32_t Machine::read(uint32_t addr, unsigned size)
{
    uint32_t v = 0;
    if (const Window* w = window_of(addr)) {
        v = w->dev->read(addr - w->base, size);
    } else if (Region* r = region_of(addr, size)) {
        std::memcpy(&v, r->view + (addr - r->base), size);
    } else {
        cpu_->unclaimed_access(addr, 0, size, false);
    }
    if (size == 1)
        v &= 0xFF;
    else if (size == 2)
        v &= 0xFFFF;
    if (tracing)
        trace.push_back({now_, addr, v, static_cast<uint8_t>(size), false});
    advance(access_cost);
    return v;
}

void Machine::write(uint32_t addr, uint32_t value, unsigned size)
{
    if (size == 1)
        value &= 0xFF;
    else if (size == 2)
        value &= 0xFFFF;
    if (!native_.in_irq())
        ++main_writes_;
    if (tracing)
        trace.push_back({now_, addr, value, static_cast<uint8_t>(size), true});
    if (const Window* w = window_of(addr)) {
        w->dev->write(addr - w->base, value, size);
    } else if (Region* r = region_of(addr, size); r && !r->read_only) {
        std::memcpy(r->view + (addr - r->base), &value, size);
    } else {
        cpu_->unclaimed_access(addr, value, size, true);
    }
    advance(access_cost);
}

// ---------------------------------------------------------------- time

Machine::EventId Machine::schedule(Time at, std::function<void()> fn)
{
    if (at < now_)
        at = now_;
    EventId id{at, seq_++};
    events_.emplace(id, std::move(fn));
    return id;
}

void Machine::cancel(EventId id)
{
    events_.erase(id);
}

void Machine::run_events_until(Time target)
{
    while (!events_.empty() && events_.begin()->first.first <= target) {
        auto it = events_.begin();
        now_ = std::max(now_, it->first.first);
        auto fn = std::move(it->second);
        events_.erase(it);
        ++events_run_;
        fn();
    }
    now_ = std::max(now_, target);
}

void Machine::advance(Time dt)
{
    run_events_until(now_ + dt);
    cpu_->poll_interrupts();
}

void Machine::set_irq_line(bool level)
{
    irq_line_ = level;
}

void Machine::wait_hook()
{
    drain_inbox();
    idle_pass_.site = nullptr;
    wait_step(wait_target());
}

// Where the next wait of the firmware goes: one quantum on, never beyond
// the next event.  A pass that waits may have changed something that the
// next pass acts on, as the board's next pass would, before anything else
// happens; only the idle hook, whose pass changed nothing, stands for more
// passes than one.
Time Machine::wait_target()
{
    return std::min(now_ + wait_quantum, next_event());
}

uint32_t Machine::idle_hook(const void* site, uint32_t passes, Time bound)
{
    drain_inbox();
    IdlePass& p = idle_pass_;
    // Alike: the same loop, and since its last pass no event, no interrupt
    // and no register write; then this pass's time at the bus is that of
    // the passes after it.
    const bool alike = site == p.site && events_run_ == p.events && native_.entries() == p.irqs &&
                       main_writes_ == p.writes;
    const Time accesses = now_ - p.left;
    uint32_t stood = 1;
    if (alike && p.measured && accesses == p.accesses && passes > 1) {
        // A pass is its accesses and one wait quantum.  A pass ending at or
        // after the next event or the deadline would have seen them: those
        // are left to run as they come.
        const Time pass = accesses + wait_quantum;
        Time limit = next_event();
        if (fw_started_)
            limit = std::min(limit, deadline_);
        uint64_t n = limit > now_ ? (limit - now_ - 1) / pass : 0;
        // Each pass reads what it waits on one pass later than the one
        // before.
        if (bound != kUnbounded)
            n = std::min<uint64_t>(n, bound / pass);
        n = std::min<uint64_t>(n, passes - 1);
        if (n > 0 && speed == Speed::Realtime)
            n = (pace_to(now_ + n * pass) - now_) / pass;
        if (n > 0) {
            advance(n * pass);
            stood += static_cast<uint32_t>(n);
        }
    }
    wait_step(wait_target());
    p = {site, now_, events_run_, native_.entries(), main_writes_, alike, accesses};
    return stood;
}

void Machine::pause_hook()
{
    drain_inbox();
    idle_pass_.site = nullptr;
    Time next = next_event();
    wait_step(next == UINT64_MAX ? now_ + kMillisecond : next);
}

void Machine::spin_hook(uint32_t passes)
{
    drain_inbox();
    idle_pass_.site = nullptr;
    const Time end = now_ + static_cast<Time>(passes) * spin_pass;
    while (now_ < end)
        wait_step(std::min(end, next_event()));
}

// One wait of the firmware to target, never beyond the controlling thread's
// deadline, then a safe point.
void Machine::wait_step(Time target)
{
    if (fw_started_ && deadline_ > now_)
        target = std::min(target, deadline_);
    if (target <= now_)
        target = now_ + 1;
    if (speed == Speed::Realtime)
        target = pace_to(target);
    advance(target - now_);
    safe_point();
}

void Machine::idle(Time limit)
{
    drain_inbox();
    Time next = next_event();
    Time target = next == UINT64_MAX ? now_ + kMillisecond : std::max(next, now_ + 1);
    target = std::max(std::min(target, limit), now_ + 1);
    if (speed == Speed::Realtime)
        target = pace_to(target);
    advance(target - now_);
}

void Machine::keep_pace()
{
    if (speed == Speed::Realtime)
        pace_to(now_);
}

// Sleeps until the wall clock reaches target, unless work comes in first;
// returns how far virtual time may go.
Time Machine::pace_to(Time target)
{
    if (!pace_started_) {
        pace_started_ = true;
        pace_virtual0_ = now_;
        pace_wall0_ns_ = wall_ns();
    }
    int64_t due = pace_wall0_ns_ + static_cast<int64_t>(target - pace_virtual0_);
    int64_t ahead = due - wall_ns();
    if (ahead > 200000) {
        std::unique_lock<std::mutex> lk(inbox_mu_);
        inbox_cv.wait_for(lk, std::chrono::nanoseconds(ahead), [this] { return inbox_nonempty_; });
        if (inbox_nonempty_) {
            // Woken early: time has only run as far as the wall clock.
            int64_t ran = wall_ns() - pace_wall0_ns_;
            Time reached = pace_virtual0_ + static_cast<Time>(std::max<int64_t>(ran, 0));
            return std::clamp(reached, std::min(now_ + 1, target), target);
        }
    } else if (ahead < -50000000) {
        // Far behind (the host was busy): do not try to catch up.
        pace_virtual0_ = now_;
        pace_wall0_ns_ = wall_ns();
    }
    return target;
}

// ---------------------------------------------------------------- front ends

void Machine::post(std::function<void()> fn)
{
    {
        std::lock_guard<std::mutex> lk(inbox_mu_);
        inbox_.push_back(std::move(fn));
        inbox_nonempty_ = true;
    }
    inbox_cv.notify_all();
}

void Machine::drain_inbox()
{
    std::vector<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> lk(inbox_mu_);
        if (!inbox_nonempty_)
            return;
        work.swap(inbox_);
        inbox_nonempty_ = false;
    }
    for (auto& fn : work)
        fn();
}

// ---------------------------------------------------------------- board reset

void Machine::reset_board()
{
    ++board_resets_;
    if (board_reset_handler_) {
        board_reset_handler_();
        return;
    }
    // Held in reset: the firmware thread hands the turn back for good and
    // never runs again.
    std::unique_lock<std::mutex> lk(turn_mu_);
    fw_done_ = true;
    fw_turn_ = false;
    stopped_by_pred_ = false;
    turn_cv_.notify_all();
    turn_cv_.wait(lk, [] { return false; });
}

// ---------------------------------------------------------------- turns

void Machine::start_firmware(std::function<void()> fn)
{
    fw_started_ = true;
    std::thread([this, fn = std::move(fn)] {
        {
            std::unique_lock<std::mutex> lk(turn_mu_);
            turn_cv_.wait(lk, [this] { return fw_turn_; });
        }
        fn();
        // The firmware returned: hand the turn back for good.
        std::lock_guard<std::mutex> lk(turn_mu_);
        fw_done_ = true;
        fw_turn_ = false;
        stopped_by_pred_ = false;
        turn_cv_.notify_all();
    }).detach();
}

void Machine::safe_point()
{
    if (!fw_started_)
        return;
    bool by_pred = stop_ && stop_();
    if (!by_pred && now_ < deadline_)
        return;
    std::unique_lock<std::mutex> lk(turn_mu_);
    stopped_by_pred_ = by_pred;
    fw_turn_ = false;
    turn_cv_.notify_all();
    turn_cv_.wait(lk, [this] { return fw_turn_; });
}

bool Machine::run_until(const std::function<bool()>& stop, Time deadline)
{
    std::unique_lock<std::mutex> lk(turn_mu_);
    if (stop && stop())
        return true;
    if (fw_done_)
        return false;  // the firmware has returned; nothing runs any more
    stop_ = stop;
    deadline_ = deadline;
    fw_turn_ = true;
    turn_cv_.notify_all();
    turn_cv_.wait(lk, [this] { return !fw_turn_; });
    stop_ = nullptr;
    return stopped_by_pred_;
}

}  // namespace sim
