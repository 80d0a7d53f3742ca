// The processor's watchdog model: its time-out, servicing, software reset
// and what it reports, with the board reset counted by the machine.
#include <gtest/gtest.h>

#include "devices/watchdog.h"

namespace sim {
namespace {

struct WatchdogCase {
    const char* what;
    uint16_t wcr;         // written to start it
    Time service_at;      // 0: never serviced
    Time reset_at;        // when the board must reset, from the start
    uint16_t reason;      // WRSR afterwards
};

TEST(WatchdogModel, TimesOutUnlessServicedAndResetsTheBoard)
{
    Machine& m = Machine::instance();
    const WatchdogCase cases[] = {
        {"shortest time-out", 0x0014, 0, kSecond / 2, Watchdog::WRSR_TOUT},
        {"WT = 3: two seconds", 0x0314, 0, 2 * kSecond, Watchdog::WRSR_TOUT},
        {"serviced after 0.4 s", 0x0014, 400 * kMillisecond, 900 * kMillisecond, Watchdog::WRSR_TOUT},
        {"software reset", 0x0000, 0, 0, Watchdog::WRSR_SFTW},
    };
    for (const WatchdogCase& c : cases) {
        Watchdog wd(m);
        unsigned resets = 0;
        Time reset_time = 0;
        m.set_board_reset_handler([&] {
            ++resets;
            reset_time = m.now();
        });
        EXPECT_EQ(wd.read(Watchdog::WRSR, 2), Watchdog::WRSR_PWR) << c.what;
        const Time start = m.now();
        wd.write(Watchdog::WCR, c.wcr, 2);
        if (c.service_at) {
            m.advance(c.service_at);
            wd.write(Watchdog::WSR, 0x5555, 2);
            wd.write(Watchdog::WSR, 0xAAAA, 2);
        }
        m.advance(c.reset_at + kSecond - (m.now() - start));
        EXPECT_EQ(resets, 1u) << c.what;
        EXPECT_EQ(reset_time - start, c.reset_at) << c.what;
        EXPECT_EQ(wd.read(Watchdog::WRSR, 2), c.reason) << c.what;
        m.set_board_reset_handler(nullptr);
    }
}

TEST(WatchdogModel, ReportsWhatTheChipDoesNotTake)
{
    Machine& m = Machine::instance();
    m.quiet = true;
    m.clear_reports();
    Watchdog wd(m);
    m.set_board_reset_handler([] {});
    wd.write(Watchdog::WCR, 0x0014, 2);
    wd.write(Watchdog::WCR, 0x0010, 2);  // WDE cannot be cleared
    EXPECT_TRUE(wd.running());
    wd.write(Watchdog::WSR, 0x1234, 2);
    wd.write(Watchdog::WRSR, 0, 2);
    wd.write(Watchdog::WCR, 0x0014, 4);
    EXPECT_EQ(m.reports().size(), 4u);
    m.set_board_reset_handler(nullptr);
    m.clear_reports();
}

}  // namespace
}  // namespace sim
