// The machine core: virtual time, events, interrupt delivery, the bus.
#include <gtest/gtest.h>

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
    // A loop that has looked at no device for a long while goes straight to
    // the next event.
    for (int i = 0; i < 2000; ++i)
        m.wait_hook();
    Time next = m.now() + 5 * sim::kMillisecond;
    m.schedule(next, [] {});
    m.wait_hook();
    EXPECT_EQ(m.now(), next);
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

}  // namespace
