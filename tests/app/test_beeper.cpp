// The beeper and alarms as a person near the board hears them: the tone on
// PC14 (GPT1's toggling output while the pin is not a GPIO), its volume
// (the PWM's duty on PE5) and the external-speaker switch (PF7), driven by
// the host commands "beep", "beepw", "al", "rb", "bv", "bf", "bMaX", "bb"
// and "*spkr".
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/KM_beep.h"
#include "app/KM_touch.h"
#include "board/miscdrivers.h"
#include "panel_state.h"
#include "storage/KM_eeprom.h"
#include "support/host.h"

namespace {

using fwtest::command;
using fwtest::visible;
using sim::kMillisecond;
using sim::kSecond;

constexpr int kBeeperPort = sim::Gpio::PORT_C, kBeeperPin = 14;

// One stretch of a steady tone.
struct Note {
    double start_ms, end_ms, hz;
    double length() const { return end_ms - start_ms; }
};

// Listens at PC14: every edge of GPT1's output that reaches the pin.
class Listener {
public:
    explicit Listener(sim::Board& b) : b_(b), board_handler_(b.gpt1.on_output)
    {
        b.gpt1.on_output = [this](bool level) {
            if (board_handler_)
                board_handler_(level);
            if (!b_.gpio.is_gpio(kBeeperPort, kBeeperPin))
                edges_.push_back(b_.machine.now());
        };
    }
    ~Listener() { b_.gpt1.on_output = board_handler_; }

    void clear() { edges_.clear(); }
    size_t edges() const { return edges_.size(); }
    double first_edge_ms() const { return edges_.empty() ? -1 : edges_[0] / 1e6; }

    // The edges grouped into notes: an interval within 3 % of the one
    // before continues the note, a longer gap or another pitch starts the
    // next.  The odd interval where the pitch changes makes no note.
    std::vector<Note> notes() const
    {
        std::vector<Note> out;
        size_t first = 0;
        auto close = [&](size_t last) {
            if (last >= first + 3) {
                double span = double(edges_[last] - edges_[first]);
                out.push_back({edges_[first] / 1e6, edges_[last] / 1e6, 1e9 * (last - first) / (2 * span)});
            }
        };
        for (size_t i = 2; i < edges_.size(); ++i) {
            double prev = double(edges_[i - 1] - edges_[i - 2]);
            double cur = double(edges_[i] - edges_[i - 1]);
            if (std::fabs(cur - prev) > 0.03 * prev) {
                close(i - 1);
                first = i - 1;
                // A gap is no interval of the next note.
                if (cur > 1.5 * prev)
                    first = i;
            }
        }
        if (!edges_.empty())
            close(edges_.size() - 1);
        return out;
    }

private:
    sim::Board& b_;
    std::function<void(bool)> board_handler_;
    std::vector<sim::Time> edges_;
};

std::string describe(const std::vector<Note>& notes)
{
    std::ostringstream s;
    for (const Note& n : notes)
        s << "[" << n.start_ms << "-" << n.end_ms << " ms " << n.hz << " Hz] ";
    return s.str();
}

bool near_hz(double got, double want)
{
    return std::fabs(got - want) <= 0.01 * want;
}

// The beeper at rest: PC14 a GPIO output driven low, GPT1 no longer running.
// Lets the EEPROM finish its last write cycle.
void settle(sim::Board& b)
{
    b.machine.run_for(20 * kMillisecond);
}

void expect_silent(sim::Board& b, const std::string& after)
{
    EXPECT_TRUE(b.gpio.is_gpio_output(kBeeperPort, kBeeperPin)) << "PC14 is not back to a GPIO output " << after;
    EXPECT_EQ(b.gpio.level(kBeeperPort, kBeeperPin), 0) << "PC14 is left high " << after;
    uint64_t events = b.gpt1.compare_events();
    b.machine.run_for(20 * kMillisecond);
    EXPECT_EQ(b.gpt1.compare_events(), events) << "GPT1 goes on toggling unheard " << after;
}

TEST(Beeper, TimedBeepSoundsTheStoredFrequencyForItsLength)
{
    sim::Board& b = fwtest::boot_to_prompt();
    Listener ear(b);
    struct Case {
        unsigned hz, ms;
    };
    for (Case c : {Case{1000, 100}, Case{2600, 50}, Case{440, 250}, Case{4000, 5}}) {
        const std::string what = "after \"bf " + std::to_string(c.hz) + "\", \"beep " + std::to_string(c.ms) + "\"";
        ASSERT_EQ(visible(command("bf " + std::to_string(c.hz))), ">\\r");
        ear.clear();
        ASSERT_EQ(visible(command("beep " + std::to_string(c.ms))), ">\\r") << what;
        if (c.ms >= 50)  // still sounding: the panel page shows the same tone
            EXPECT_TRUE(near_hz(sim::beeper_tone_hz(b), c.hz)) << "the panel shows " << sim::beeper_tone_hz(b)
                                                               << " Hz " << what;
        b.machine.run_for((c.ms + 50) * kMillisecond);
        std::vector<Note> notes = ear.notes();
        ASSERT_EQ(notes.size(), 1u) << "one steady tone expected " << what << ": " << describe(notes);
        EXPECT_TRUE(near_hz(notes[0].hz, c.hz)) << "the tone is " << notes[0].hz << " Hz " << what;
        // Measured from its first to its last edge, within a tick.
        EXPECT_NEAR(notes[0].length(), c.ms, 1 + 1000.0 / c.hz) << "the beep lasts " << notes[0].length() << " ms " << what;
        expect_silent(b, what);
        EXPECT_EQ(sim::beeper_tone_hz(b), 0) << "the panel still shows a tone " << what;
    }
}

TEST(Beeper, BeepZeroAndANewBeepBeforeTheEnd)
{
    sim::Board& b = fwtest::boot_to_prompt();
    Listener ear(b);
    command("beep 1000");
    b.machine.run_for(30 * kMillisecond);
    EXPECT_EQ(visible(command("beep 0")), ">\\r");
    expect_silent(b, "after \"beep 0\" stopped a beep");
    ear.clear();
    command("beep 200");
    b.machine.run_for(50 * kMillisecond);
    command("beep 100");  // restarts the countdown: 150 ms in all
    b.machine.run_for(200 * kMillisecond);
    std::vector<Note> notes = ear.notes();
    ASSERT_EQ(notes.size(), 1u) << describe(notes);
    EXPECT_NEAR(notes[0].length(), 150, 3) << "a second beep takes over the first one's countdown";
}

TEST(Beeper, BeepwAnswersWhenTheBeepHasEnded)
{
    sim::Board& b = fwtest::boot_to_prompt();
    Listener ear(b);
    sim::Time t0 = b.machine.now();
    EXPECT_EQ(visible(command("beepw 200")), ">\\r");
    double took = (b.machine.now() - t0) / 1e6;
    EXPECT_GE(took, 199) << "\"beepw 200\" answered before its beep ended";
    EXPECT_LT(took, 210) << "\"beepw 200\" answered long after its beep ended";
    EXPECT_FALSE(BeepActive());
    expect_silent(b, "after \"beepw 200\"");
}

TEST(Beeper, RepeatingBeepUntilStopped)
{
    sim::Board& b = fwtest::boot_to_prompt();
    Listener ear(b);
    struct Case {
        unsigned on, off;
    };
    for (Case c : {Case{100, 100}, Case{30, 70}}) {
        const std::string line = "rb " + std::to_string(c.on) + " " + std::to_string(c.off);
        const std::string what = "\"" + line + "\"";
        ear.clear();
        ASSERT_EQ(visible(command(line)), ">\\r");
        b.machine.run_for(1000 * kMillisecond);
        std::vector<Note> notes = ear.notes();
        size_t want = 1000 / (c.on + c.off);
        ASSERT_GE(notes.size(), want - 1) << what << ": " << describe(notes);
        for (size_t i = 0; i + 1 < notes.size(); ++i) {
            EXPECT_NEAR(notes[i].length(), c.on, 1.5) << what << " beep " << i << ": " << describe(notes);
            EXPECT_NEAR(notes[i + 1].start_ms - notes[i].end_ms, c.off, 1.5)
                << what << " pause " << i << ": " << describe(notes);
            EXPECT_TRUE(near_hz(notes[i].hz, 2600)) << what << " beep " << i << " at " << notes[i].hz << " Hz";
        }
        ASSERT_EQ(visible(command("rb 0 0")), ">\\r");
        expect_silent(b, "after \"rb 0 0\" ended " + what);
        ear.clear();
        b.machine.run_for(500 * kMillisecond);
        EXPECT_EQ(ear.edges(), 0u) << "the repeating beep comes back after \"rb 0 0\"";
    }
}

TEST(Beeper, RepeatingBeepWithoutOnTimeIsSilent)
{
    sim::Board& b = fwtest::boot_to_prompt();
    Listener ear(b);
    EXPECT_EQ(visible(command("rb 0 100")), ">\\r");
    b.machine.run_for(300 * kMillisecond);
    EXPECT_EQ(ear.edges(), 0u) << "\"rb 0 100\" sounds a tone that nothing ends";
    expect_silent(b, "after \"rb 0 100\"");
}

// Alarm patterns on a stored frequency of 2000 Hz (1000 Hz for the slow
// one): the tones, their lengths and the silence after the beep.
TEST(Beeper, AlarmPatterns)
{
    sim::Board& b = fwtest::boot_to_prompt();
    Listener ear(b);
    struct Case {
        unsigned f;
        const char* line;
        double beep_ms;
        std::vector<double> tones;  // the pattern's tones in turn; 0 = silence
        double tone_ms;
    };
    const std::vector<Case> cases = {
        {2000, "al 1 300", 300, {2750, 0}, 16},
        {2000, "al 2 1000", 1000, {2500, 2000}, 4},
        {1000, "al 3 1300", 1300, {1386, 1000}, 251},
    };
    for (const Case& c : cases) {
        command("bf " + std::to_string(c.f));
        ear.clear();
        ASSERT_EQ(visible(command(c.line)), ">\\r") << c.line;
        b.machine.run_for(static_cast<sim::Time>((c.beep_ms + 100) * kMillisecond));
        std::vector<Note> notes = ear.notes();
        // The first note is the beep's own tone until the pattern's first
        // step; the last may be cut by the end of the beep.
        ASSERT_GE(notes.size(), 4u) << c.line << ": " << describe(notes);
        size_t k = 0;  // index into tones of the note that follows
        while (k < c.tones.size() && !near_hz(notes[1].hz, c.tones[k]))
            ++k;
        ASSERT_LT(k, c.tones.size()) << c.line << " plays " << notes[1].hz << " Hz: " << describe(notes);
        bool pauses = false;
        for (double t : c.tones)
            pauses = pauses || t == 0;
        for (size_t i = 1; i + 1 < notes.size(); ++i) {
            while (c.tones[k] == 0)  // silence: a gap between notes
                k = (k + 1) % c.tones.size();
            double gap = notes[i + 1].start_ms - notes[i].end_ms;
            if (pauses)
                EXPECT_NEAR(gap, c.tone_ms, 1.5) << c.line << " pause after note " << i << ": " << describe(notes);
            else
                EXPECT_LT(gap, 1.0) << c.line << " falls silent after note " << i << ": " << describe(notes);
            EXPECT_TRUE(near_hz(notes[i].hz, c.tones[k])) << c.line << " note " << i << ": " << describe(notes);
            // A note's length is measured between its first and last edge.
            double slack = 1000.0 / notes[i].hz + 0.5;
            EXPECT_NEAR(notes[i].length(), c.tone_ms, slack) << c.line << " note " << i << ": " << describe(notes);
            k = (k + 1) % c.tones.size();
        }
        double end = notes.back().end_ms - ear.first_edge_ms();
        EXPECT_NEAR(end, c.beep_ms, 2.5) << c.line << ": the alarm ends with its beep";
        expect_silent(b, std::string("after \"") + c.line + "\"");
        EXPECT_EQ(alarmType, 0u) << "the end of the beep leaves the alarm set after \"" << c.line << "\"";
    }
}

TEST(Beeper, AlarmWithoutBeepLengthSoundsUntilEnded)
{
    sim::Board& b = fwtest::boot_to_prompt();
    Listener ear(b);
    EXPECT_EQ(visible(command("al 2 0")), ">\\r");
    b.machine.run_for(2 * kSecond);
    ear.clear();
    b.machine.run_for(100 * kMillisecond);
    EXPECT_GT(ear.notes().size(), 20u) << "\"al 2 0\" stopped warbling within two seconds";
    // A refused type answers "!" and ends the alarm, with its tone.
    EXPECT_EQ(visible(command("al 0 0")), "!\\r");
    expect_silent(b, "after \"al 0 0\" ended a running alarm");
    EXPECT_EQ(visible(command("al 4 100")), "!\\r");
    ear.clear();
    b.machine.run_for(200 * kMillisecond);
    EXPECT_EQ(ear.edges(), 0u) << "\"al 4 100\" was refused and yet a tone sounds";
}

TEST(Beeper, RepeatingAlarmKeepsItsPauses)
{
    sim::Board& b = fwtest::boot_to_prompt();
    Listener ear(b);
    EXPECT_EQ(visible(command("rb 100 100 2")), ">\\r");
    b.machine.run_for(50 * kMillisecond);
    ear.clear();
    b.machine.run_for(1000 * kMillisecond);
    std::vector<Note> notes = ear.notes();
    // Between the bursts of warble lie pauses of 100 ms.
    int pauses = 0;
    for (size_t i = 0; i + 1 < notes.size(); ++i) {
        double gap = notes[i + 1].start_ms - notes[i].end_ms;
        if (gap > 90)
            ++pauses;
        EXPECT_TRUE(gap < 1 || std::fabs(gap - 100) < 2) << "a gap of " << gap << " ms in \"rb 100 100 2\"";
    }
    EXPECT_GE(pauses, 4) << "\"rb 100 100 2\" does not pause: " << describe(notes);
    command("rb 0 0");
    expect_silent(b, "after \"rb 0 0\" ended a repeating alarm");
}

TEST(Beeper, VolumeDuty)
{
    sim::Board& b = fwtest::boot_to_prompt();
    EXPECT_TRUE(b.pwm.enabled()) << "the volume PWM is not running after start-up";
    EXPECT_EQ(b.pwm.period(), 102u);
    EXPECT_EQ(b.pwm.sample(), 200u * 102 / 255) << "start-up did not apply the stored volume 200";
    struct Case {
        uint32_t v, sample;
    };
    for (Case c : {Case{0, 0}, Case{1, 0}, Case{128, 51}, Case{255, 102}, Case{300, 102}}) {
        fwtest::on_firmware([&] { SetAudioVolume(c.v); });
        EXPECT_EQ(b.pwm.sample(), c.sample) << "SetAudioVolume(" << c.v << ")";
    }
    EXPECT_DOUBLE_EQ(b.pwm.duty(), 1.0) << "full volume is not a full duty";
    // The host's volume is scaled by the stored maximum.
    struct Line {
        const char* line;
        uint32_t sample;
    };
    for (Line c : {Line{"bMaX 255", 102 /* the next volume setting applies it */}, Line{"bv 200", 80}, Line{"bMaX 128", 80}, Line{"bv 255", 51},
                   Line{"bMaX 0", 51}, Line{"bv 255", 0}, Line{"bv 10", 0}}) {
        EXPECT_EQ(visible(command(c.line)), ">\\r") << c.line;
        EXPECT_EQ(b.pwm.sample(), c.sample) << "PWM sample after \"" << c.line << "\"";
    }
}

TEST(Beeper, ExternalSpeakerSwitch)
{
    sim::Board& b = fwtest::boot_to_prompt();
    constexpr int kPort = sim::Gpio::PORT_F, kPin = 7;
    EXPECT_TRUE(b.gpio.is_gpio_output(kPort, kPin)) << "PF7 is not set up as an output";
    EXPECT_FALSE(b.external_speaker()) << "the external speaker is on after start-up with a blank EEPROM";
    struct Case {
        const char* line;
        const char* reply;
        bool on;
    };
    const std::vector<Case> cases = {
        {"*spkr", "off\\r>\\r", false},  {"*spkr on", ">\\r", true},   {"*spkr", "on\\r>\\r", true},
        {"*spkr maybe", "!\\r", true},   {"*spkr off", ">\\r", false}, {"*spkr", "off\\r>\\r", false},
        {"*spkr on", ">\\r", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(visible(command(c.line)), c.reply) << c.line;
        settle(b);
        EXPECT_EQ(b.external_speaker(), c.on) << "PF7 after \"" << c.line << "\"";
        EXPECT_EQ(b.gpio.reg(kPort, 0x40) >> kPin & 1, 0u) << "PF7 keeps a pull-up after \"" << c.line << "\"";
        EXPECT_EQ(b.eeprom.data()[EEPROM_COPY0 + 0x82], c.on ? 1 : 0) << "stored speaker after \"" << c.line << "\"";
        EXPECT_EQ(b.eeprom.data()[EEPROM_COPY1 + 0x82], c.on ? 1 : 0) << "second copy after \"" << c.line << "\"";
    }
}

TEST(Beeper, SettingCommandsReplyAndSave)
{
    sim::Board& b = fwtest::boot_to_prompt();
    struct Case {
        const char* line;
        const char* reply;
        int volume;        // in RAM afterwards
        int saved_volume;  // in the EEPROM (0x30)
    };
    const std::vector<Case> cases = {
        {"bv", "200\\r>\\r", 200, 200},     {"bv ", "200\\r>\\r", 200, 200},  {"bv  7", "200\\r>\\r", 200, 200},
        {"bv 10", ">\\r", 10, 10},          {"bv +5", ">\\r", 15, 15},        {"bv-3", ">\\r", 12, 12},
        {"bv +300", ">\\r", 255, 255},      {"bv -300", ">\\r", 0, 0},         {"bv 256", "!\\r", 0, 0},
        {"bv 255", ">\\r", 255, 255},       {"bvs 40", ">\\r", 40, 255},       {"bvs", "40\\r>\\r", 40, 255},
        {"bvs +10", ">\\r", 50, 255},       {"bv x", ":err - syntax\\r!\\r", 50, 255},
        // A step near 2^31 is held at the scale's end, not wrapped round.
        {"bv +2147483647", ">\\r", 255, 255},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(visible(command(c.line)), c.reply) << c.line;
        settle(b);
        EXPECT_EQ(GetBeepVolume(), c.volume) << "volume after \"" << c.line << "\"";
        EXPECT_EQ(b.eeprom.data()[EEPROM_COPY0 + 0x30], c.saved_volume) << "saved volume after \"" << c.line << "\"";
    }

    struct Freq {
        const char* line;
        const char* reply;
        uint32_t f, saved;
    };
    const std::vector<Freq> freqs = {
        {"bf", "2600\\r>\\r", 2600, 2600}, {"bf 1234", ">\\r", 1234, 1234}, {"bf", "1234\\r>\\r", 1234, 1234},
        {"bfs 999", ">\\r", 999, 1234},    {"bfs", "999\\r>\\r", 999, 1234},  {"bf 70000", ">\\r", 70000, 70000},
    };
    for (const Freq& c : freqs) {
        EXPECT_EQ(visible(command(c.line)), c.reply) << c.line;
        settle(b);
        EXPECT_EQ(GetBeepFrequency(), c.f) << "frequency after \"" << c.line << "\"";
        uint32_t saved = 0;
        std::memcpy(&saved, b.eeprom.data() + EEPROM_COPY0 + 0x2C, 4);
        EXPECT_EQ(saved, c.saved) << "saved frequency after \"" << c.line << "\"";
    }

    EXPECT_EQ(visible(command("bMaX 300")), ">\\r");
    settle(b);
    EXPECT_EQ(b.eeprom.data()[EEPROM_COPY0 + 0x31], 300 & 0xFF) << "\"bMaX 300\" did not save its low 8 bits";
    EXPECT_EQ(visible(command("bb 5")), ">\\r");
    EXPECT_EQ(beepMS, 50u) << "\"bb 5\" does not give a 50 ms click beep";
    EXPECT_EQ(visible(command("beep")), "!\\r") << "\"beep\" without a length";
}

TEST(Beeper, ZeroFrequencyIsSilence)
{
    sim::Board& b = fwtest::boot_to_prompt();
    Listener ear(b);
    command("bf 0");
    EXPECT_EQ(visible(command("beep 100")), ">\\r") << "a beep at 0 Hz";
    b.machine.run_for(50 * kMillisecond);
    EXPECT_EQ(ear.edges(), 0u) << "a tone sounds at 0 Hz";
    EXPECT_TRUE(b.gpio.is_gpio_output(kBeeperPort, kBeeperPin)) << "PC14 left to the timer at 0 Hz";
    EXPECT_EQ(visible(command("vers")).substr(0, 4), "VELM") << "the firmware stopped after a 0 Hz beep";
}

}  // namespace
