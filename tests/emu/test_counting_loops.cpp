// Counting and moving loops that the board's processor steps ahead end
// where running them instruction by instruction ends them: the same
// registers, flags and memory, after the same instructions and virtual
// time, with every interrupt and device access at the same moment.  Each run below is made
// twice, with stepping and without, each in a process of its own (one board
// per process), and the two must agree.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "arm/arm_board.h"
#include "arm/builds.h"
#include "arm/elf_image.h"
#include "emu/programs.h"
#include "support/shell.h"

namespace {

using sim::kMillisecond;
using sim::kSecond;

// A window where a test image marks what it did: each word it stores there
// is kept with the time, the instructions so far and those stepped over.
constexpr uint32_t kMarks = 0x10050000;
// The word a test image stores its case number in when the case ends
// (r0..r11 and the flags go to the words before it), and the one it stores
// in before the first.
constexpr uint32_t kCaseEnd = 0x40, kCasesBegin = 0x44;

struct Mark {
    uint64_t time, instructions, stepped;
    uint32_t off, value;
};

class MarkWindow : public sim::Device {
public:
    MarkWindow(sim::arm::ArmBoard& arm, std::vector<Mark>& marks) : arm_(arm), marks_(marks) {}
    const char* name() const override { return "marks"; }
    uint32_t read(uint32_t, unsigned) override { return 0; }
    void write(uint32_t off, uint32_t value, unsigned) override
    {
        marks_.push_back({arm_.board.machine.now(), arm_.cpu.instructions(), arm_.cpu.stepped_instructions(), off, value});
    }

private:
    sim::arm::ArmBoard& arm_;
    std::vector<Mark>& marks_;
};

// What one run showed.
struct Outcome {
    std::vector<Mark> marks;
    std::vector<sim::Uart::Sent> sent;
    // Every bus access (time, address, value, size, direction), and memory
    // at the end.
    uint64_t accesses = 0, trace_hash = 0;
    uint64_t instructions = 0, stepped = 0, time = 0;
    std::string problem;
};

template <typename T>
void put(std::FILE* f, const std::vector<T>& v)
{
    const uint64_t n = v.size();
    std::fwrite(&n, sizeof n, 1, f);
    std::fwrite(v.data(), sizeof(T), v.size(), f);
}

template <typename T>
void get(std::FILE* f, std::vector<T>& v)
{
    uint64_t n = 0;
    if (std::fread(&n, sizeof n, 1, f) != 1)
        return;
    v.resize(n);
    v.resize(std::fread(v.data(), sizeof(T), n, f));
}

// Runs the image on the build's board in a child process, with counting
// loops stepped or not; drive runs it.
Outcome run_image(const std::string& elf, const std::string& build, bool stepping, const std::string& dir,
              const std::function<void(sim::arm::ArmBoard&)>& drive)
{
    const std::string tag = stepping ? "stepped" : "plain";
    const std::string out = dir + "/" + tag + ".run";
    const pid_t pid = fork();
    if (pid == 0) {
        int code = 1;
        try {
            sim::arm::ElfImage image;
            std::string error;
            const sim::BuildWiring* wiring = sim::arm::find_build(build);
            if (!image.load(elf, &error) || !wiring)
                _exit(2);
            sim::BoardOptions o;
            o.flash = dir + "/" + tag + "-flash.bin";
            o.eeprom = dir + "/" + tag + "-eeprom.bin";
            o.speed = sim::Speed::Max;
            sim::arm::ArmBoard arm(image, *wiring, o);
            std::vector<Mark> marks;
            MarkWindow window(arm, marks);
            sim::Machine& m = arm.board.machine;
            m.quiet = true;
            m.attach(kMarks, 0x1000, &window);
            arm.power_on();  // with the window mapped
            arm.cpu.set_loop_stepping(stepping);
            m.tracing = true;
            uint64_t hash = 14695981039346656037ull, accesses = 0;
            const auto fold = [&] {
                for (const sim::Access& a : m.trace) {
                    for (uint64_t v : {a.time, uint64_t{a.addr}, uint64_t{a.value}, uint64_t{a.size}, uint64_t{a.write}})
                        hash = (hash ^ v) * 1099511628211ull;
                    ++accesses;
                }
                m.trace.clear();
            };
            drive(arm);
            fold();
            // And what memory holds at the end.
            for (const sim::Machine::Region& r : m.regions())
                if (!r.read_only)
                    for (uint32_t i = 0; i < r.size; i += 8) {
                        uint64_t v;
                        std::memcpy(&v, r.view + i, 8);
                        hash = (hash ^ v) * 1099511628211ull;
                    }
            std::FILE* f = std::fopen(out.c_str(), "wb");
            put(f, marks);
            put(f, arm.board.uart1.sent);
            const std::vector<uint64_t> figures = {accesses, hash, arm.cpu.instructions(), arm.cpu.stepped_instructions(),
                                                   m.now()};
            put(f, figures);
            std::fclose(f);
            code = 0;
        } catch (...) {
        }
        _exit(code);
    }
    Outcome r;
    int status = 0;
    waitpid(pid, &status, 0);
    std::FILE* f = std::fopen(out.c_str(), "rb");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !f) {
        r.problem = "the " + tag + " run failed";
        if (f)
            std::fclose(f);
        return r;
    }
    std::vector<uint64_t> figures;
    get(f, r.marks);
    get(f, r.sent);
    get(f, figures);
    std::fclose(f);
    if (figures.size() != 5) {
        r.problem = "the " + tag + " run left no figures";
        return r;
    }
    r.accesses = figures[0];
    r.trace_hash = figures[1];
    r.instructions = figures[2];
    r.stepped = figures[3];
    r.time = figures[4];
    return r;
}

// What differs between a run with stepping and one without ("" when they
// agree in everything but the instructions stepped over).
std::string difference(const Outcome& stepped, const Outcome& plain)
{
    if (!stepped.problem.empty() || !plain.problem.empty())
        return stepped.problem + plain.problem;
    if (plain.stepped != 0)
        return "the run without stepping stepped over " + std::to_string(plain.stepped) + " instructions";
    for (size_t i = 0; i < std::min(stepped.marks.size(), plain.marks.size()); ++i) {
        const Mark &a = stepped.marks[i], &b = plain.marks[i];
        if (a.time != b.time || a.instructions != b.instructions || a.off != b.off || a.value != b.value) {
            char t[200];
            std::snprintf(t, sizeof t,
                          "mark %zu: word 0x%X = 0x%08X at %llu ns after %llu instructions with stepping, "
                          "0x%X = 0x%08X at %llu ns after %llu without",
                          i, a.off, a.value, static_cast<unsigned long long>(a.time),
                          static_cast<unsigned long long>(a.instructions), b.off, b.value,
                          static_cast<unsigned long long>(b.time), static_cast<unsigned long long>(b.instructions));
            return t;
        }
    }
    if (stepped.marks.size() != plain.marks.size())
        return std::to_string(stepped.marks.size()) + " marks with stepping, " + std::to_string(plain.marks.size()) +
               " without";
    for (size_t i = 0; i < std::min(stepped.sent.size(), plain.sent.size()); ++i)
        if (stepped.sent[i].time != plain.sent[i].time || stepped.sent[i].byte != plain.sent[i].byte)
            return "UART1 byte " + std::to_string(i) + " differs: " + std::to_string(stepped.sent[i].byte) + " at " +
                   std::to_string(stepped.sent[i].time) + " ns with stepping, " + std::to_string(plain.sent[i].byte) +
                   " at " + std::to_string(plain.sent[i].time) + " ns without";
    if (stepped.sent.size() != plain.sent.size())
        return "UART1 sent " + std::to_string(stepped.sent.size()) + " bytes with stepping, " +
               std::to_string(plain.sent.size()) + " without";
    if (stepped.accesses != plain.accesses || stepped.trace_hash != plain.trace_hash)
        return "the bus accesses or memory differ (" + std::to_string(stepped.accesses) + " accesses with stepping, " +
               std::to_string(plain.accesses) + " without)";
    if (stepped.instructions != plain.instructions || stepped.time != plain.time)
        return "the runs end after " + std::to_string(stepped.instructions) + " instructions at " +
               std::to_string(stepped.time) + " ns with stepping, " + std::to_string(plain.instructions) + " at " +
               std::to_string(plain.time) + " ns without";
    return "";
}

class CountingLoops : public testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/velm-loops-XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override { fwtest::run("rm -rf " + dir_); }
    std::string dir_;
};

// Loops of the shapes the firmware's busy-waits take, and the edges of
// their exit tests; then fills, copies and the like that move through
// memory: each case sets up r0..r10, runs its loop and ends.
enum Steps {
    None,  // none of the case's instructions are stepped over
    Some,
    Most,  // nine in ten of them
};
struct Case {
    const char* what;
    const char* code;
    Steps steps;
};

const std::vector<Case> kCases = {
    {"a counter in a stack slot, up to 1000 (the card's word pacing)",
     "sub sp, sp, #8\n mov r3, #0\n"
     "1: str r3, [sp, #4]\n ldr r3, [sp, #4]\n cmp r3, #1000\n bcc 2f\n b 3f\n"
     "2: ldr r3, [sp, #4]\n ldr r3, [sp, #4]\n add r3, r3, #1\n b 1b\n"
     "3: add sp, sp, #8",
     Most},
    {"a counter in a stack slot, down from 200 while above 0 (the serial memories' pause)",
     "sub sp, sp, #8\n mov r3, #200\n"
     "1: str r3, [sp, #4]\n ldr r3, [sp, #4]\n cmp r3, #0\n bgt 2f\n b 3f\n"
     "2: ldr r3, [sp, #4]\n ldr r3, [sp, #4]\n sub r3, r3, #1\n b 1b\n"
     "3: add sp, sp, #8",
     Most},
    {"a register down to 0 over many interrupts", "ldr r4, =3000000\n 1: subs r4, r4, #1\n bne 1b", Most},
    {"up by 3 to a bound in a register", "mov r3, #0\n ldr r2, =100001\n 1: add r3, r3, #3\n cmp r3, r2\n blo 1b", Most},
    {"up by 2 until it equals an odd bound", "mov r3, #1\n ldr r2, =9001\n 1: add r3, r3, #2\n cmp r3, r2\n bne 1b",
     Most},
    {"greater than 0 until the sign flips over", "ldr r3, =0x7FFFF000\n 1: add r3, r3, #16\n cmp r3, #0\n bgt 1b",
     Most},
    {"until the add overflows", "ldr r3, =0x7FFE0000\n 1: adds r3, r3, #4\n bvc 1b", Most},
    {"above 0x100 through the wrap to 0", "ldr r3, =0xFFFE0000\n 1: add r3, r3, #16\n cmp r3, #0x100\n bhi 1b", Most},
    {"down until it equals -5 (cmn)", "ldr r3, =40000\n 1: sub r3, r3, #1\n cmn r3, #5\n bne 1b", Most},
    {"copied to another register that sets the flags", "ldr r3, =40000\n 1: sub r3, r3, #1\n movs r5, r3\n bne 1b",
     Most},
    {"with a copy, a copy of the copy and a scratch value",
     "mov r3, #0\n 1: mov r6, r5\n mov r5, r3\n and r7, r3, #7\n add r3, r3, #1\n cmp r3, #4096\n bne 1b", Most},
    {"a counter in memory, stored after the test",
     "ldr r8, =0xC0100200\n mov r3, #0\n str r3, [r8]\n"
     "1: ldr r3, [r8]\n cmp r3, #3072\n beq 2f\n add r3, r3, #1\n str r3, [r8]\n b 1b\n 2:",
     Most},
    {"flags set after the test, left by the pass before the last",
     "ldr r3, =30001\n 1: movs r5, r3\n beq 2f\n cmp r3, #2\n sub r3, r3, #1\n b 1b\n 2:",
     Most},
    {"a bound loaded from a literal in every pass", "mov r3, #0\n 1: ldr r2, =12345\n add r3, r3, #1\n cmp r3, r2\n bne 1b",
     Most},
    {"a bound read from memory the loop does not store",
     "ldr r8, =0xC0100100\n ldr r2, =7777\n str r2, [r8]\n mov r3, #0\n"
     "1: ldr r2, [r8]\n add r3, r3, #1\n cmp r3, r2\n bne 1b",
     Most},
    {"two exits, the second one first",
     "mov r3, #0\n ldr r4, =3000\n 1: add r3, r3, #1\n cmp r3, #8192\n beq 2f\n subs r4, r4, #1\n bne 1b\n 2:", Most},
    {"the test at the top", "ldr r3, =5000\n 1: cmp r3, #0\n beq 2f\n sub r3, r3, #1\n b 1b\n 2:", Most},
    {"inside an outer loop that waits for 20 interrupts",
     "ldr r8, =0xC0100000\n ldr r9, [r8]\n add r9, r9, #20\n ldr r10, =1100\n"
     "1: sub sp, sp, #8\n mov r3, #0\n"
     "2: str r3, [sp, #4]\n ldr r3, [sp, #4]\n cmp r3, r10\n bcc 3f\n b 4f\n"
     "3: ldr r3, [sp, #4]\n add r3, r3, #1\n b 2b\n"
     "4: add sp, sp, #8\n ldr r1, [r8]\n cmp r1, r9\n bne 1b",
     Most},
    {"one pass", "ldr r3, =999\n 1: add r3, r3, #1\n cmp r3, #1000\n bcc 1b", None},
    {"no pass again", "ldr r3, =1000\n 1: cmp r3, #1000\n bcs 2f\n add r3, r3, #1\n b 1b\n 2:", None},
    {"counting while it reads GPT2's counter (a device: not stepped)",
     "ldr r0, =0x10004000\n ldr r2, =3000\n 1: ldr r1, [r0, #0x10]\n subs r2, r2, #1\n bne 1b", None},
    {"stores that move on (a moving loop)",
     "ldr r0, =0xC0110000\n mov r1, #0\n 1: str r1, [r0], #4\n add r1, r1, #1\n cmp r1, #2000\n bne 1b", Most},
    {"a word fill",
     "ldr r0, =0xC0120000\n ldr r2, =0xC0130000\n ldr r1, =0x5A5AA5A5\n 1: str r1, [r0], #4\n cmp r0, r2\n bne 1b",
     Most},
    {"a halfword fill downward, pre-indexed",
     "ldr r0, =0xC0128000\n ldr r2, =0xC0120000\n ldr r1, =0x1234\n 1: strh r1, [r0, #-2]!\n cmp r0, r2\n bhi 1b",
     Most},
    {"a byte fill with a conditional store behind it",
     "ldr r0, =0xC0130000\n ldr r2, =3000\n mov r1, #7\n"
     "1: strb r1, [r0], #1\n add r1, r1, r1, lsl #1\n subs r2, r2, #1\n strneb r2, [r0, #0x800]\n bne 1b",
     Most},
    {"products stored two words a pass",
     "ldr r0, =0xC0140000\n mov r2, #2048\n"
     "1: mul r3, r2, r2\n mla r4, r3, r2, r2\n umull r5, r6, r3, r4\n smlal r5, r6, r4, r3\n"
     " str r5, [r0], #4\n str r6, [r0], #4\n subs r2, r2, #1\n bne 1b",
     Most},
    {"a block copy with LDM and STM, backward into its destination",
     "ldr r0, =0xC0140000\n ldr r1, =0xC0158000\n mov r2, #512\n"
     "1: ldmia r0!, {r3-r10}\n stmdb r1!, {r3-r10}\n subs r2, r2, #1\n bne 1b",
     Most},
    {"a checksum with the carry, rotations by a register and doubleword loads",
     "ldr r0, =0xC0140000\n mov r2, #1024\n mov r6, #0\n mov r7, #3\n"
     "1: ldrd r8, [r0], #8\n adds r6, r6, r8\n adc r6, r6, r9, ror r7\n eor r6, r6, r6, rrx\n"
     " add r7, r7, #5\n rsc r10, r6, r7, lsr r7\n subs r2, r2, #1\n bne 1b",
     Most},
    {"a run-length decoder: runs of bytes until a run of none",
     "adr r0, 5f\n ldr r1, =0xC0170000\n"
     "1: ldrb r4, [r0], #1\n cmp r4, #0\n beq 4f\n ldrb r5, [r0], #1\n"
     "2: strb r5, [r1], #1\n subs r4, r4, #1\n bne 2b\n b 1b\n"
     "5: .rept 150\n .byte 5, 0xAA, 1, 0x55, 12, 0x33\n .endr\n .byte 0\n .balign 4\n 4:",
     Most},
    {"a fill that stores into a device every 256 words",
     "ldr r0, =0xC0160000\n ldr r8, =0x10050080\n mov r1, #0\n"
     "1: str r1, [r0], #4\n add r1, r1, #1\n tst r1, #255\n streq r1, [r8]\n cmp r1, #4096\n bne 1b",
     Most},
    {"a fill into the page of its own code (not stepped)",
     "b 2f\n .balign 1024\n 2: adr r0, 3f\n mov r1, #0\n"
     "1: str r1, [r0], #4\n add r1, r1, #1\n cmp r1, #64\n bne 1b\n b 4f\n 3: .space 256\n 4:",
     None},
    {"a copy over code that ran before (the first pass stores in front of it), which then runs as copied",
     "adrl r1, 5f - 16\n adrl r0, 6f - 16\n mov r4, #0\n bl 5f\n mov r2, #45\n"
     "1: ldr r3, [r0], #4\n str r3, [r1], #4\n subs r2, r2, #1\n bne 1b\n"
     " bl 5f\n b 7f\n .balign 1024\n .space 16\n"
     "5: .rept 40\n sub r4, r4, #1\n .endr\n bx lr\n .space 16\n"
     "6: .rept 40\n add r4, r4, #1\n .endr\n bx lr\n 7:",
     Some},
};

// The image: from the flash window's start it copies its body to SDRAM and
// runs it there, as the firmware does.  The body serves a GPT2 compare
// interrupt every 997 counts (about 60 us, so that interrupts land inside
// the loops) and runs the cases, each followed by its mark.
std::string assemble(const std::string& dir)
{
    std::string cases;
    for (size_t i = 0; i < kCases.size(); ++i) {
        const std::string n = std::to_string(i);
        cases += std::string("    ") + kCases[i].code + "\n" +
                 "    ldr r12, =0x10050000\n"
                 "    stmia r12, {r0-r11}\n"
                 "    mrs r11, cpsr\n"
                 "    str r11, [r12, #0x30]\n"
                 "    mov r11, #" + n + "\n"
                 "    str r11, [r12, #0x40]\n"
                 "    b after_" + n + "\n"
                 "    .ltorg\n"
                 "after_" + n + ":\n";
    }
    const std::string src = dir + "/loops.S", elf = dir + "/loops.elf";
    std::ofstream(src) << "    .cpu arm926ej-s\n"
                          "    .arm\n"
                          "    .global _start\n"
                          "_start:\n"
                       << emutest::kSdramSetUp
                       << "    ldr r0, =body\n"
                          "    ldr r1, =body_end\n"
                          "    ldr r2, =0xC0010000\n"
                          "1:  ldr r3, [r0], #4\n"
                          "    str r3, [r2], #4\n"
                          "    cmp r0, r1\n"
                          "    bne 1b\n"
                          "    ldr pc, =0xC0010000\n"
                          "    .ltorg\n"
                          "    .balign 1024\n"  // the body's pages are those it runs in
                          "body:\n"
                          "    b start\n"
                          "irq:\n"
                          "    push {r0-r3}\n"
                          "    ldr r0, =0x10004000\n"
                          "    mov r1, #1\n"
                          "    str r1, [r0, #0x14]\n"  // TSTAT: the compare is served
                          "    ldr r0, =0xC0100000\n"
                          "    ldr r1, [r0]\n"
                          "    add r1, r1, #1\n"
                          "    str r1, [r0]\n"
                          "    pop {r0-r3}\n"
                          "    subs pc, lr, #4\n"
                          "    .ltorg\n"
                          "start:\n"
                          "    ldr r0, =0xC0000018\n"   // the IRQ vector, with the MMU off
                          "    ldr r1, =0xE59FF000\n"   // ldr pc, [pc, #0]
                          "    str r1, [r0]\n"
                          "    adr r1, irq\n"
                          "    str r1, [r0, #8]\n"
                          "    msr cpsr_c, #0xD2\n"
                          "    ldr sp, =0xC0200000\n"
                          "    msr cpsr_c, #0xD3\n"
                          "    ldr sp, =0xC0300000\n"
                          "    ldr r0, =0x10027024\n"   // PCCR1: GPT2's clock on
                          "    ldr r1, [r0]\n"
                          "    orr r1, r1, #0x04000000\n"
                          "    str r1, [r0]\n"
                          "    ldr r0, =0x10004000\n"
                          "    mov r1, #0\n"
                          "    str r1, [r0, #4]\n"      // TPRER
                          "    ldr r1, =997\n"
                          "    str r1, [r0, #8]\n"      // TCMP
                          "    mov r1, #0x13\n"
                          "    str r1, [r0]\n"          // TCTL: on, PERCLK1, compare interrupt
                          "    ldr r0, =0x10040000\n"
                          "    mov r1, #25\n"
                          "    str r1, [r0, #8]\n"      // INTENNUM: GPT2
                          "    msr cpsr_c, #0x53\n"     // IRQs on
                          "    ldr r12, =0x10050000\n"
                          "    str r12, [r12, #0x44]\n"
                       << cases
                       << "2:  b 2b\n"
                          "    .ltorg\n"
                          "body_end:\n";
    fwtest::must(std::string(VELM_ARM_GCC) + " -nostdlib -Wl,-Ttext=0xC8020000 -Wl,--build-id=none -o " + elf +
                 " " + src);
    return elf;
}

TEST_F(CountingLoops, EndAsTheyWouldInstructionByInstruction)
{
    const std::string elf = assemble(dir_);
    const auto drive = [](sim::arm::ArmBoard& arm) { arm.run_until(200 * kMillisecond); };
    const Outcome stepped = run_image(elf, "velm5plus-wvga", true, dir_, drive);
    const Outcome plain = run_image(elf, "velm5plus-wvga", false, dir_, drive);
    ASSERT_EQ(difference(stepped, plain), "");
    // Every case ended, and those that count for long were stepped.
    std::vector<const Mark*> ends;
    uint64_t instructions = 0, skipped = 0;
    for (const Mark& m : stepped.marks)
        if (m.off == kCaseEnd)
            ends.push_back(&m);
        else if (m.off == kCasesBegin)
            instructions = m.instructions, skipped = m.stepped;
    ASSERT_EQ(ends.size(), kCases.size()) << "not every case ended";
    for (size_t i = 0; i < kCases.size(); ++i) {
        const uint64_t n = ends[i]->instructions - instructions, s = ends[i]->stepped - skipped;
        instructions = ends[i]->instructions;
        skipped = ends[i]->stepped;
        if (kCases[i].steps == Most)
            EXPECT_GT(s, n * 9 / 10) << kCases[i].what << ": " << s << " of " << n << " instructions stepped over";
        else if (kCases[i].steps == Some)
            EXPECT_GT(s, 0u) << kCases[i].what << ": none of " << n << " instructions stepped over";
        else
            EXPECT_EQ(s, 0u) << kCases[i].what << ": stepped over " << s << " instructions";
    }
}

// The passes a loop makes, worked out at once, against the same loop
// stepped one pass at a time: loops that count by a constant (up, down, by
// large steps) compared in every way with a bound in another register,
// for each condition, leaving when the branch is taken or when it is not,
// from values at the edges where the flags change.
TEST(CountingLoop, MakesAsManyPassesAtOnceAsOneByOne)
{
    const std::vector<std::string> counts = {"add r3, r3, #1", "add r3, r3, #3", "sub r3, r3, #1", "sub r3, r3, #7",
                                             "add r3, r3, #0x40000000", "add r3, r3, #0x100"};
    const std::vector<std::string> tests = {"cmp r3, r2", "cmp r2, r3", "cmn r3, r2", "movs r5, r3"};
    const char* const conds[] = {"eq", "ne", "cs", "cc", "mi", "pl", "vs", "vc", "hi", "ls", "ge", "lt", "gt", "le"};
    std::string src = "    .arm\n    .global _start\n_start:\n";
    size_t loops = 0;
    for (const std::string& count : counts)
        for (const std::string& test : tests)
            for (const char* cond : conds)
                for (bool leave_when_taken : {false, true}) {
                    src += "    .balign 32\n1:  " + count + "\n    " + test + "\n";
                    src += leave_when_taken ? "    b" + std::string(cond) + " 2f\n    b 1b\n2:  b .\n"
                                            : "    b" + std::string(cond) + " 1b\n    b .\n";
                    ++loops;
                }
    char tmpl[] = "/tmp/velm-loop-XXXXXX";
    const std::string dir = mkdtemp(tmpl);
    std::ofstream(dir + "/loops.S") << src;
    fwtest::must(std::string(VELM_ARM_GCC) + " -nostdlib -Wl,-Ttext=0xC8020000 -Wl,--build-id=none -o " + dir +
                 "/loops.elf " + dir + "/loops.S");
    sim::arm::ElfImage image;
    std::string error;
    ASSERT_TRUE(image.load(dir + "/loops.elf", &error)) << error;
    fwtest::run("rm -rf " + dir);
    const sim::arm::ElfImage::Segment& code = image.segments().at(0);
    const auto fetch = [&](uint32_t addr, uint32_t* word) {
        if (addr - code.address > code.bytes.size() - 4)
            return false;
        std::memcpy(word, code.bytes.data() + (addr - code.address), 4);
        return true;
    };
    struct NoMemory : sim::arm::LoopMemory {
        bool read(uint32_t, unsigned, uint32_t*) override { return false; }
    } memory;
    // Counters and bounds where the flags change: around 0, the sign and
    // each other.
    const uint32_t edges[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 1000};
    std::mt19937 random(7);
    constexpr uint64_t kMax = 300;
    for (size_t i = 0; i < loops; ++i) {
        sim::arm::CountingLoop loop;
        const uint32_t head = code.address + static_cast<uint32_t>(i) * 32;
        ASSERT_TRUE(sim::arm::CountingLoop::decode(head, fetch, &loop)) << "loop " << i << " is not a counting loop";
        for (int trial = 0; trial < 8; ++trial) {
            sim::arm::LoopState at;
            at.r[2] = edges[random() % 6] + static_cast<uint32_t>(random() % 9) - 4;
            at.r[3] = at.r[2] + static_cast<uint32_t>(random() % 2 ? random() % 700 : edges[random() % 6]) - 350;
            at.r[5] = at.r[3];
            at.nzcv = static_cast<uint32_t>(random() % 16) << 28;
            const sim::arm::CountingLoop::Step all = loop.step(at, kMax, memory);
            std::vector<sim::arm::LoopState> after = {at};
            while (after.size() <= kMax) {
                const sim::arm::CountingLoop::Step s = loop.step(after.back(), 1, memory);
                if (s.passes == 0)
                    break;
                after.push_back(s.state);
            }
            const uint64_t passes = after.size() - 1;
            const std::string which = "loop " + std::to_string(i) + " (" + counts[i / 112] + ", " +
                                      tests[i / 28 % 4] + ", b" + conds[i / 2 % 14] + ") from r3 " +
                                      std::to_string(at.r[3]) + ", r2 " + std::to_string(at.r[2]);
            // A count that goes round the 32 bits within the passes may be
            // worked out only part of the way; never past an exit.
            if (i / 112 == 4)
                ASSERT_LE(all.passes, passes) << which;
            else
                ASSERT_EQ(all.passes, passes) << which;
            if (all.passes) {
                const sim::arm::LoopState& one = after[all.passes];
                EXPECT_EQ(all.state.r[3], one.r[3]) << which;
                EXPECT_EQ(all.state.r[5], one.r[5]) << which;
                EXPECT_EQ(all.state.nzcv, one.nzcv) << which;
            }
        }
    }
}

// The reference image's own busy-waits: power-on with a blank EEPROM (the
// first start-up writes its settings through the serial memories' pauses),
// then a setting written by a host.
TEST_F(CountingLoops, TheFirmwareRunsTheSameWithAndWithoutStepping)
{
    const auto drive = [](sim::arm::ArmBoard& arm) {
        arm.run_until(4 * kSecond);
        arm.board.uart1.receive("*config \"Hello\"\r");
        arm.run_until(5 * kSecond);
    };
    const std::string elf = std::string(VELM_ARM_IMAGES) + "/velm5plus-wvga.elf";
    const Outcome stepped = run_image(elf, "velm5plus-wvga", true, dir_, drive);
    const Outcome plain = run_image(elf, "velm5plus-wvga", false, dir_, drive);
    ASSERT_EQ(difference(stepped, plain), "");
    std::string reply;
    for (const sim::Uart::Sent& s : stepped.sent)
        reply += static_cast<char>(s.byte);
    EXPECT_NE(reply.find(">\r"), std::string::npos) << "the image did not start: " << reply;
    EXPECT_GT(stepped.stepped, stepped.instructions / 10) << "few of the image's instructions were stepped over";
}

}  // namespace
