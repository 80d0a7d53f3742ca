// The machine core: virtual time, events, interrupt delivery, the bus.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "devices/aitc.h"
#include "machine.h"

namespace {

using sim::Machine;
using sim::Time;

Machine& M()
{
    Machine& m = Machine::instance();
    m.quiet = true;
    return m;
}

TEST(Machine, RunsEventsInTimeOrderAtTheirTimes)
{
    Machine& m = M();
    Time t0 = m.now();
    std::vector<std::pair<std::string, Time>> seen;
    auto note = [&](const char* what) { return [&seen, &m, what] { seen.push_back({what, m.now()}); }; };
    m.schedule(t0 + 300, note("c"));
    m.schedule(t0 + 100, note("a"));
    m.schedule(t0 + 200, note("b1"));
    m.schedule(t0 + 200, note("b2"));
    auto gone = m.schedule(t0 + 150, note("cancelled"));
    m.cancel(gone);
    // An event may schedule another inside the same advance.
    m.schedule(t0 + 250, [&] { m.schedule(m.now() + 10, note("chained")); });
    m.advance(1000);
    std::vector<std::pair<std::string, Time>> want = {
        {"a", t0 + 100}, {"b1", t0 + 200}, {"b2", t0 + 200}, {"chained", t0 + 260}, {"c", t0 + 300}};
    EXPECT_EQ(seen, want);
    EXPECT_EQ(m.now(), t0 + 1000);
}

TEST(Machine, WaitHookNeverStepsPastTheNextEvent)
{
    Machine& m = M();
    m.read(0x2F000000, 4);  // the firmware looked at something: small steps
    Time due = m.now() + 2500;
    Time fired = 0;
    m.schedule(due, [&] { fired = m.now(); });
    while (!fired) {
        Time before = m.now();
        m.read(0x2F000000, 4);
        m.wait_hook();
        ASSERT_LE(m.now() - before, m.access_cost + m.wait_quantum) << "a wait step ran too far";
    }
    EXPECT_EQ(fired, due);
    // Nor does a loop that has looked at no device for a long while: its
    // passes may change what the next pass does (memory that no device
    // sees), and on the board that next pass comes long before the event.
    for (int i = 0; i < 2000; ++i)
        m.wait_hook();
    auto later = m.schedule(m.now() + 5 * sim::kMillisecond, [] {});
    Time before = m.now();
    m.wait_hook();
    EXPECT_EQ(m.now() - before, m.wait_quantum) << "a wait of a loop that touches no device jumped ahead";
    m.cancel(later);
}

TEST(Machine, ShortPauseTakesTheBoardsTimeAndTakesInterruptsOnTheWay)
{
    // A count-down pause of the firmware (the SD card driver's 1000 passes
    // between FIFO words) with an interrupt due in its middle.
    static std::vector<Time> taken;
    taken.clear();
    Machine& m = M();
    m.set_irq_entry([] {
        taken.push_back(Machine::instance().now());
        Machine::instance().set_irq_line(false);
    });
    m.set_cpu_irq_masked(false);
    const Time t0 = m.now();
    const Time due = t0 + 300 * m.spin_pass + 7;
    m.schedule(due, [&m] { m.set_irq_line(true); });
    m.spin_hook(1000);
    EXPECT_EQ(m.now() - t0, 1000 * m.spin_pass) << "the pause did not take its passes' time";
    EXPECT_EQ(taken, std::vector<Time>{due}) << "the interrupt waited for the pause to end";
    m.set_cpu_irq_masked(true);
    m.set_irq_entry(nullptr);
}

TEST(Machine, ReportsUnclaimedAddressesOnce)
{
    Machine& m = M();
    m.clear_reports();
    m.read(0x2E000010, 4);
    m.write(0x2E000020, 0x1234, 2);
    m.read(0x2E000010, 4);
    ASSERT_EQ(m.reports().size(), 2u);
    EXPECT_NE(m.reports()[0].find("0x2E000010"), std::string::npos) << m.reports()[0];
    EXPECT_NE(m.reports()[1].find("0x2E000020"), std::string::npos) << m.reports()[1];
    EXPECT_NE(m.reports()[1].find("write16"), std::string::npos) << m.reports()[1];
}

// An interrupt handler in the firmware's manner: reads the vector, clears the source.
sim::Aitc* g_aitc = nullptr;
constexpr uint32_t kAitcBase = 0x2D000000;
std::vector<std::pair<uint32_t, Time>> g_taken;

void test_irq_handler()
{
    Machine& m = Machine::instance();
    Time entered = m.now();
    uint32_t n = m.read(kAitcBase + 0x40, 4) >> 16;
    g_taken.push_back({n, entered});
    g_aitc->set_source(static_cast<int>(n), false);
}

TEST(Machine, MaskedInterruptWaitsAndIsDeliveredWhenUnmasked)
{
    Machine& m = M();
    static sim::Aitc aitc(m);
    static bool attached = false;
    if (!attached) {
        m.attach(kAitcBase, 0x1000, &aitc);
        attached = true;
    }
    g_aitc = &aitc;
    g_taken.clear();
    m.set_irq_entry(test_irq_handler);
    m.set_cpu_irq_masked(false);

    // Masked at the controller: the source waits.
    aitc.set_source(25, true);
    m.advance(1000);
    EXPECT_TRUE(g_taken.empty()) << "an interrupt disabled at the AITC was delivered";
    m.write(kAitcBase + 0x14, 1u << 25, 4);
    ASSERT_EQ(g_taken.size(), 1u) << "enabling a pending source must deliver it";
    EXPECT_EQ(g_taken[0].first, 25u);

    // Masked by the processor: waits until IRQs are enabled again.
    m.set_cpu_irq_masked(true);
    m.write(kAitcBase + 0x14, (1u << 25) | (1u << 20), 4);
    aitc.set_source(20, true);
    aitc.set_source(25, true);
    m.advance(5000);
    EXPECT_EQ(g_taken.size(), 1u) << "an interrupt was delivered while the processor masked IRQs";
    Time unmasked = m.now();
    m.set_cpu_irq_masked(false);
    ASSERT_EQ(g_taken.size(), 3u);
    EXPECT_EQ(g_taken[1].first, 25u) << "the higher source number goes first";
    EXPECT_EQ(g_taken[2].first, 20u);
    EXPECT_EQ(g_taken[1].second, unmasked) << "delivery must happen as soon as IRQs are unmasked";

    m.write(kAitcBase + 0x14, 0, 4);
    m.set_cpu_irq_masked(true);
    m.set_irq_entry(nullptr);
}

// A device that a waiting loop polls: a ready flag that an event sets, and a
// clock register that reads the time in nanoseconds.
struct Poll : sim::Device {
    bool ready = false;
    const char* name() const override { return "poll"; }
    uint32_t read(uint32_t off, unsigned) override
    {
        return off == 0 ? ready : static_cast<uint32_t>(Machine::instance().now());
    }
    void write(uint32_t, uint32_t, unsigned) override {}
};
constexpr uint32_t kPollBase = 0x2C000000;

Poll& poll_device()
{
    static Poll p;
    static bool attached = false;
    if (!attached) {
        M().attach(kPollBase, 0x10, &p);
        attached = true;
    }
    return p;
}

// How a waiting loop ended: its time from the start, its passes, and the
// calls of the hook it made.
struct LoopEnd {
    Time took;
    uint32_t passes;
    uint32_t hooks;
    bool operator==(const LoopEnd& o) const { return took == o.took && passes == o.passes; }
};

std::ostream& operator<<(std::ostream& os, const LoopEnd& e)
{
    return os << e.took << " ns, " << e.passes << " passes";
}

// Waits for the flag, for at most limit passes, or until wait_ns have
// gone: as a firmware loop does with hw_wait, or with the idle hook.  A loop
// that touches no device sees the flag as memory that an interrupt sets.
LoopEnd waiting_loop(bool idle, uint32_t limit, Time wait_ns, bool device)
{
    Machine& m = M();
    Poll& p = poll_device();
    m.read(kPollBase, 4);  // each loop starts after the firmware looked at a device
    const Time start = m.now();
    const Time begun = device ? m.read(kPollBase + 4, 4) : 0;
    LoopEnd end{0, 0, 0};
    while (end.passes < limit && !(device ? m.read(kPollBase, 4) : p.ready)) {
        const Time waited = device ? m.read(kPollBase + 4, 4) - begun : 0;
        if (waited >= wait_ns)
            break;
        ++end.hooks;
        if (!idle) {
            m.wait_hook();
            ++end.passes;
        } else {
            static const char site = 0;
            const Time left = wait_ns - waited;
            end.passes += m.idle_hook(&site, limit - end.passes, left > 1 ? left - 1 : 0);
        }
    }
    end.took = m.now() - start;
    return end;
}

TEST(Machine, IdlePassesGoByAsTheyWouldHaveOneByOne)
{
    struct Case {
        const char* what;
        Time ready_after;  // 0: never
        uint32_t limit;
        Time wait_ns;
        bool device = true;  // the loop reads registers, else only memory
    };
    const Time forever = sim::Machine::kUnbounded;
    const Case cases[] = {
        {"a flag that an event sets", 2500 * sim::kMicrosecond, UINT32_MAX, forever},
        // A pass here is two reads and a wait quantum, after a first read.
        {"a flag set just as a pass ends", 50 + 11 * 1100, UINT32_MAX, forever},
        {"a flag set during a read", 50 + 11 * 1100 + 25, UINT32_MAX, forever},
        {"a loop giving up after its passes", 0, 4321, forever},
        {"a flag that comes after the loop gave up", 5 * sim::kMillisecond, 3000, forever},
        {"a loop that waits for a time", 0, UINT32_MAX, 777 * sim::kMicrosecond},
        {"a time that an event interrupts", 300 * sim::kMicrosecond, UINT32_MAX, 900 * sim::kMicrosecond},
        // A pass here is a wait quantum alone.
        {"memory that an interrupt sets", 2500 * sim::kMicrosecond, UINT32_MAX, forever, false},
        {"a memory loop giving up after its passes", 0, 2500, forever, false},
    };
    Machine& m = M();
    Poll& p = poll_device();
    for (const Case& c : cases) {
        LoopEnd ends[2];
        for (int idle = 0; idle < 2; ++idle) {
            p.ready = false;
            auto due = m.schedule_in(c.ready_after ? c.ready_after : 1000 * sim::kSecond, [&] { p.ready = true; });
            ends[idle] = waiting_loop(idle != 0, c.limit, c.wait_ns, c.device);
            m.cancel(due);
        }
        EXPECT_EQ(ends[1], ends[0]) << c.what << ": the idle loop ended elsewhere than the stepping one";
        EXPECT_LT(ends[1].hooks, 20u) << c.what << ": the idle passes were not let go by";
    }
}

// The firmware thread's loop for the deadline test: waits with the hook that
// the test chose, counting its passes.
std::atomic<bool> g_idle_loop{false};
std::atomic<uint32_t> g_loop_passes{0};

TEST(Machine, IdlePassesStopAtTheDeadlineAsSteppingOnesDo)
{
    Machine& m = M();
    poll_device();
    m.start_firmware([&m] {
        static const char site = 0;
        for (;;) {
            m.read(kPollBase, 4);
            if (g_idle_loop)
                g_loop_passes += m.idle_hook(&site, UINT32_MAX);
            else {
                m.wait_hook();
                ++g_loop_passes;
            }
        }
    });
    auto far = m.schedule_in(100 * sim::kMillisecond, [] {});
    Time stops[2];
    uint32_t passes[2];
    for (int idle = 0; idle < 2; ++idle) {
        g_idle_loop = idle != 0;
        // The loop settles into its passes; the hook that met the deadline
        // counts its passes when it returns, so each count begins and ends
        // with a step of 1 ns.
        m.run_for(10 * sim::kMicrosecond);
        m.run_for(1);
        g_loop_passes = 0;
        const Time from = m.now();
        const Time deadline = from + 2 * sim::kMillisecond + 333;
        m.run_until(nullptr, deadline);
        stops[idle] = m.now() - from;
        EXPECT_GE(m.now(), deadline);
        EXPECT_LE(m.now(), deadline + m.access_cost + m.wait_quantum) << "the loop ran past the deadline";
        m.run_for(1);
        passes[idle] = g_loop_passes;
    }
    EXPECT_EQ(stops[1], stops[0]) << "the idle loop stopped elsewhere than the stepping one";
    EXPECT_EQ(passes[1], passes[0]);
    m.cancel(far);
}

}  // namespace
