// The PWM model (the beeper's volume) driven through the machine's bus as
// the firmware drives it.
#include "devices/pwm.h"
#include "machine.h"

#include <gtest/gtest.h>

#include <string>

namespace {

enum : uint32_t { PWMC = 0x00, PWMS = 0x04, PWMP = 0x08, PWMCNT = 0x0C };
constexpr uint32_t kSwr = 1u << 16, kEn = 1u << 4;

class PwmTest : public ::testing::Test {
protected:
    sim::Machine& m = sim::Machine::instance();
    sim::Pwm pwm{m};
    uint32_t at = 0;

    void SetUp() override
    {
        // One machine per process without detach: each fixture its own window.
        static uint32_t next = 0x50000000;
        at = next;
        next += sim::Pwm::kSize;
        m.quiet = true;
        m.clear_reports();
        m.attach(at, sim::Pwm::kSize, &pwm);
    }
    uint32_t rd(uint32_t off) { return m.read(at + off, 4); }
    void wr(uint32_t off, uint32_t v) { m.write(at + off, v, 4); }
    bool reported(const std::string& part)
    {
        for (const std::string& r : m.reports())
            if (r.find("PWM") != std::string::npos && r.find(part) != std::string::npos)
                return true;
        return false;
    }
};

TEST_F(PwmTest, BeeperSetUpAndVolumes)
{
    EXPECT_EQ(rd(PWMC), 0u) << "the PWM runs at power-on";
    EXPECT_EQ(pwm.duty(), 0.0);
    wr(PWMP, 55);
    wr(PWMS, 20);
    wr(PWMC, kEn);
    // The start-up sequence: reset, wait for the reset bit, then set up.
    wr(PWMC, kSwr);
    EXPECT_EQ(rd(PWMC) & kSwr, 0u) << "the software reset bit never clears: start-up would hang";
    EXPECT_EQ(rd(PWMP), 0u) << "the reset left the period";
    EXPECT_EQ(rd(PWMS), 0u) << "the reset left the sample";
    EXPECT_FALSE(pwm.enabled()) << "the reset left the PWM running";
    wr(PWMP, 102);
    wr(PWMS, 0);
    wr(PWMC, kEn);
    EXPECT_TRUE(pwm.enabled());
    struct Case {
        uint32_t sample;
        double duty;
    };
    for (Case c : {Case{0, 0.0}, Case{51, 0.5}, Case{102, 1.0}, Case{150, 1.0}}) {
        wr(PWMS, c.sample);
        EXPECT_EQ(rd(PWMS), c.sample);
        EXPECT_DOUBLE_EQ(pwm.duty(), c.duty) << "duty for sample " << c.sample << " of period 102";
    }
    wr(PWMC, 0);
    EXPECT_EQ(pwm.duty(), 0.0) << "a stopped PWM still drives its output";
    EXPECT_TRUE(m.reports().empty()) << m.reports().front();
}

TEST_F(PwmTest, ReportsWhatItDoesNotModel)
{
    rd(0x20);
    EXPECT_TRUE(reported("+0x020")) << "a read of an offset the PWM lacks went unreported";
    wr(0x30, 1);
    EXPECT_TRUE(reported("+0x030")) << "a write to an offset the PWM lacks went unreported";
    m.write(at + PWMS, 5, 2);
    EXPECT_TRUE(reported("16-bit")) << "a 16-bit access went unreported";
    EXPECT_EQ(rd(PWMS), 0u) << "a dropped 16-bit write changed the sample";
}

}  // namespace
