// Dravik's command link against a controller played on a pseudo-terminal:
// the line primitives, the escaping of data lines, and each routine's rounds
// and its answers to the odd replies a controller may give.
#include "core/controller_link.h"
#include "fake_controller.h"
#include "format/crc16.h"
#include "loader_support.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <memory>

namespace {

const char kSettings[] = "baud=115200 parity=N data=8 stop=1";

// A scripted controller on a pseudo-terminal and a link opened on it.
struct Bench {
    explicit Bench(uint32_t capacity = 0x1BC0000, uint32_t block = 0x20000)
        : controller(capacity, block), link(ui)
    {
    }
    // Starts the controller after the test has set its answers.
    void Open()
    {
        pty = std::make_unique<FakeController>(controller.Script());
        ASSERT_TRUE(pty->ok()) << "no pseudo-terminal for the scripted controller";
        ASSERT_TRUE(link.Open(QString::fromStdString(pty->SlavePath()), kSettings, &ui)) << ui.BoxTexts();
    }
    std::vector<std::string> Lines() const { return pty->Lines(); }
    // Waits until the controller has answered everything sent so far.
    void Settle() const
    {
        size_t seen = Lines().size();
        for (int quiet = 0; quiet < 20;) {
            QThread::msleep(10);
            const size_t now = Lines().size();
            quiet = now == seen ? quiet + 1 : 0;
            seen = now;
        }
    }
    int Count(const std::string& line) const
    {
        const auto lines = Lines();
        return int(std::count(lines.begin(), lines.end(), line));
    }

    RecordingUi ui;
    ScriptedController controller;
    std::unique_ptr<FakeController> pty;
    CControllerLink link;
};

std::string Joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& l : lines) {
        std::string shown;
        for (char c : l)
            shown += c == '\n' ? std::string("\\n") : std::string(1, c);
        all += "[" + shown + "] ";
    }
    return all;
}

std::vector<uint8_t> Pattern(size_t n, uint32_t seed = 1)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = uint8_t(seed >> 16);
    }
    return bytes;
}

std::vector<uint8_t> Concat(const std::vector<std::string>& lines)
{
    std::vector<uint8_t> all;
    for (const std::string& l : lines) {
        const auto b = ScriptedController::Unescape(l);
        all.insert(all.end(), b.begin(), b.end());
    }
    return all;
}

}  // namespace

// ------------------------------------------------------------ escaping

TEST(ControllerLink, EscapesEveryByteTheControllerWouldTakeAsControl)
{
    struct Case {
        uint8_t byte;
        const char* sent;
    } cases[] = {
        {0x00, " 0"}, {0x08, " B"}, {0x0A, " N"}, {0x0D, " R"}, {0x11, " X"},
        {0x13, " Y"}, {0x1B, " ["}, {0x20, "  "}, {'A', "A"},   {0xFF, "\xFF"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CControllerLink::EscapeData(&c.byte, 1).toStdString(), std::string(c.sent))
            << "byte 0x" << std::hex << int(c.byte) << " is sent wrongly";

    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; i++)
        all[size_t(i)] = uint8_t(i);
    const QByteArray line = CControllerLink::EscapeData(all.data(), 256);
    for (char control : {'\0', '\r', '\n', '\b', '\x11', '\x13', '\x1B'})
        EXPECT_FALSE(line.contains(control)) << "a data line carries control byte " << int(control)
                                             << " that the controller's line reader acts on";
    EXPECT_EQ(ScriptedController::Unescape(line.toStdString()), all)
        << "the controller decodes the escaped bytes into something else";
}

TEST(ControllerLink, ReadsItsPortSettingsText)
{
    struct Case {
        const char* text;
        bool ok;
        int baud;
        char parity;
        int stopBits;
    } cases[] = {
        {"baud=115200 parity=N data=8 stop=1", true, 115200, 'N', 1},
        {"baud=460800 parity=e data=7 stop=2", true, 460800, 'E', 2},
        {"baud=9600 stop=1.5", true, 9600, 'N', 3},
        {"baud= parity=N data=8 stop=1", false, 0, 0, 0},
        {"baud=fast parity=N data=8 stop=1", false, 0, 0, 0},
        {"parity=N data=8 stop=1", false, 0, 0, 0},
        {"baud=9600 parity=X", false, 0, 0, 0},
        {"baud=9600 data=9", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        CControllerLink::PortSettings s;
        ASSERT_EQ(CControllerLink::ParseSettings(c.text, s), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(s.baud, c.baud) << c.text;
            EXPECT_EQ(s.parity, c.parity) << c.text;
            EXPECT_EQ(s.stopBits, c.stopBits) << c.text;
        }
    }
}

// ------------------------------------------------------------ line primitives

TEST(ControllerLink, ReportsAPortThatDoesNotOpenOrSettingsThatDoNotParse)
{
    RecordingUi ui;
    CControllerLink link(ui);
    EXPECT_FALSE(link.Open("/dev/no-such-port", kSettings, &ui));
    ASSERT_EQ(ui.boxes.size(), 1u) << ui.BoxTexts();
    EXPECT_TRUE(ui.boxes[0].text.startsWith("Could not open '/dev/no-such-port'\n")) << ui.BoxTexts();
    EXPECT_TRUE(ui.boxes[0].text.endsWith("\n(Port may be in use by another program)")) << ui.BoxTexts();
    EXPECT_EQ(ui.boxes[0].title, "CreateFile");
    EXPECT_EQ(ui.boxes[0].icon, UserInterface::Icon::Error);

    ScriptedController controller;
    FakeController pty(controller.Script());
    ASSERT_TRUE(pty.ok());
    EXPECT_FALSE(link.Open(QString::fromStdString(pty.SlavePath()), "baud=fast parity=N data=8 stop=1", &ui));
    ASSERT_EQ(ui.boxes.size(), 2u) << ui.BoxTexts();
    EXPECT_EQ(ui.boxes[1].text, "Could not create Serial Port DCB 'baud=fast parity=N data=8 stop=1'");
    EXPECT_EQ(ui.boxes[1].title, "BuildCommDCB");
    EXPECT_FALSE(link.IsOpen()) << "a port with settings that did not apply stays open";

    EXPECT_FALSE(link.Open("/dev/no-such-port", kSettings, nullptr));
    EXPECT_EQ(ui.boxes.size(), 2u) << "a box appeared although no owner was given";
}

TEST(ControllerLink, ReadsALineUpToItsCrWithoutLineFeeds)
{
    Bench b;
    b.Open();
    b.pty->Send("ab\ncd\rrest");
    char line[CControllerLink::kReplyCapacity];
    EXPECT_EQ(b.link.ReadLine(line, sizeof line), 4);
    EXPECT_STREQ(line, "abcd") << "the CR ends the line and LF bytes are dropped";

    QElapsedTimer t;
    t.start();
    EXPECT_EQ(b.link.ReadLine(line, sizeof line), 4);
    EXPECT_STREQ(line, "rest") << "a line without CR ends when no byte comes within the time-out";
    EXPECT_LT(t.elapsed(), 1000) << "a read without an answer waits far longer than its time-out";

    b.pty->Send("123456789\r");
    EXPECT_EQ(b.link.ReadLine(line, 5), 4);
    EXPECT_STREQ(line, "1234") << "the buffer keeps capacity - 1 characters";

    b.link.Close();
    EXPECT_EQ(b.link.ReadLine(line, sizeof line), 0);
    EXPECT_STREQ(line, "");
    EXPECT_FALSE(b.link.SendCommand("vers")) << "a closed port reports a write";
}

TEST(ControllerLink, EndsEveryCommandWithOneCr)
{
    Bench b;
    b.Open();
    ASSERT_TRUE(b.link.SendCommand("xma"));
    ASSERT_TRUE(b.link.SendCommand("vers\n"));
    ASSERT_TRUE(b.link.SendCommand("ab", 1));
    QElapsedTimer t;
    t.start();
    while (b.Lines().size() < 3 && t.elapsed() < 2000)
        QThread::msleep(5);
    EXPECT_EQ(b.Lines(), (std::vector<std::string>{"xma", "vers\n", "a"})) << Joined(b.Lines());
}

// ------------------------------------------------------------ prompt and type

TEST(ControllerLink, FindsThePromptAndTheFamily)
{
    struct Case {
        const char* what;
        bool leftInTransfer;  // answers the empty line with "p>" until " Q"
        std::string vers;
        int expected;
    } cases[] = {
        {"a controller at its prompt", false, "VELM5-PLUS V1.5.8 WVGA ", 2},
        {"an older controller", false, "VELM5 V2.01", 2},
        {"a controller left inside a data transfer", true, "VELM5-PLUS V1.5.8", 2},
        {"another family", false, "ACME-9 V1.0", 3},
    };
    for (const Case& c : cases) {
        Bench b;
        b.controller.versText = c.vers;
        if (c.leftInTransfer)
            b.controller.hook = [&b](const std::string& line) {
                if (line == "")
                    return std::string(b.Count(" Q") ? ">\r" : "p>\r");
                return line == " Q" ? std::string(">\r") : std::string();
            };
        b.Open();
        EXPECT_EQ(b.link.SyncToPrompt(), c.expected) << c.what << "; lines " << Joined(b.Lines());
        if (c.leftInTransfer)
            EXPECT_EQ(b.Count(" Q"), 1) << "the transfer was not ended with \" Q\": " << Joined(b.Lines());
        EXPECT_EQ(b.Lines().front(), "") << "the first round is an empty line";
        EXPECT_GE(b.Count("vers\n"), 1) << "the family is asked with vers LF";
        if (c.expected == 3)
            EXPECT_EQ(b.Count("vers\n"), 12) << "another family is asked 12 times";
    }
}

TEST(ControllerLink, RefusesEveryRoutineForAnotherFamily)
{
    Bench b;
    b.controller.versText = "ACME-9 V1.0";
    b.Open();
    EXPECT_EQ(b.link.QueryControllerType(), 99);
    EXPECT_EQ(b.link.QueryMemoryInfo(), -1);
    EXPECT_EQ(b.link.ReadExternalCrc(), "???");
    EXPECT_FALSE(b.link.EraseImageArea(&b.ui, 100));
    const uint8_t data[2] = {1, 2};
    EXPECT_FALSE(b.link.SendImageData(data, 2, &b.ui, &b.ui));
    EXPECT_EQ(b.Count("*ctype") + b.Count("xma") + b.Count("*CEXT") + b.Count("xmpmax"), 0)
        << "a command went to a controller of another family: " << Joined(b.Lines());
}

TEST(ControllerLink, GivesUpOnASilentPortAndAClosedOne)
{
    RecordingUi ui;
    CControllerLink closed(ui);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(closed.SyncToPrompt(), 0);
    EXPECT_LT(t.elapsed(), 100) << "a closed port is waited for";

    Bench b;
    b.controller.hook = [](const std::string&) { return std::string("\x01"); };  // answers nothing whole
    b.Open();
    t.restart();
    EXPECT_EQ(b.link.SyncToPrompt(), 0);
    EXPECT_EQ(b.Count(""), 12) << "the prompt is sought in 12 rounds";
    EXPECT_LT(t.elapsed(), 15000);
}

TEST(ControllerLink, NamesTheControllerType)
{
    struct Case {
        std::string answer;
        int expected;
    } cases[] = {
        {"1\r>\r", 1},
        {"0\r>\r", 0},
        {"!\r", 0},  // an older controller does not know the command
        {"7\r>\r", 99},
    };
    for (const Case& c : cases) {
        Bench b;
        b.controller.answers["*ctype"] = c.answer;
        b.Open();
        EXPECT_EQ(b.link.QueryControllerType(), c.expected) << "*ctype answered " << c.answer;
        b.Settle();
        if (c.expected == 99)
            EXPECT_EQ(b.Count("*ctype"), 21) << "an answer that names no type is asked again 20 times";
    }
}

TEST(ControllerLink, EndsATransferThatAnswersTheTypeQuery)
{
    Bench b;
    b.controller.hook = [&b](const std::string& line) {
        if (line == "*ctype" && b.Count("*ctype") == 1)
            return std::string("p>\r");
        return std::string();
    };
    b.Open();
    EXPECT_EQ(b.link.QueryControllerType(), 1) << Joined(b.Lines());
    EXPECT_GE(b.Count(" Q"), 1) << "the transfer the controller was in was not ended";
}

// ------------------------------------------------------------ memory info

TEST(ControllerLink, ReadsTheStoreGeometry)
{
    struct Case {
        std::string answer;
        int result;
        uint32_t downloadable, block, maxSd;
    } cases[] = {
        {"29097984 131072 29097984 C8400000\r>\r", 0, 29097984, 131072, 29097984},
        {"1000000 65536 2000000\r>\r", 0, 1000000, 65536, 2000000},
        {"1000000 65536\r>\r", 0, 1000000, 65536, 1000000},  // the SD limit is the store
        {"1000000\r>\r", -1, 0, 0, 0},
        {"1000000 0\r>\r", -1, 0, 0, 0},  // no erase block
        {"!\r", -1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Bench b;
        b.controller.answers["xma"] = c.answer;
        b.Open();
        EXPECT_EQ(b.link.QueryMemoryInfo(), c.result) << "xma answered " << c.answer;
        if (c.result == 0) {
            EXPECT_EQ(b.link.DownloadableSize(), c.downloadable) << c.answer;
            EXPECT_EQ(b.link.EraseBlockSize(), c.block) << c.answer;
            EXPECT_EQ(b.link.MaxSdFileSize(), c.maxSd) << c.answer;
            EXPECT_EQ(b.link.GetDownloadableSize(), c.downloadable);
            EXPECT_EQ(b.link.GetMaxSdFileSize(), c.maxSd);
        } else {
            EXPECT_EQ(b.link.GetDownloadableSize(), 0u) << "a failed query gives no size";
        }
    }
}

// ------------------------------------------------------------ erase

TEST(ControllerLink, ErasesTheBlocksTheImageCoversAndNoMore)
{
    const uint32_t block = 0x1000;
    const uint32_t capacity = 4 * block;
    struct Case {
        uint32_t size;
        std::vector<int> blocks;
    } cases[] = {
        {1, {0}},
        {block, {0}},
        {block + 1, {0, 1}},
        {capacity, {0, 1, 2, 3}},  // the whole store: no block past its end
    };
    for (const Case& c : cases) {
        Bench b(capacity, block);
        b.Open();
        EXPECT_TRUE(b.link.EraseImageArea(&b.ui, c.size)) << "size " << c.size << ": " << Joined(b.Lines());
        EXPECT_EQ(b.controller.ErasedBlocks(), c.blocks) << "an image of " << c.size << " bytes";
        EXPECT_EQ(b.Count("xmc 0xFEEC " + std::to_string(c.blocks.size())), 0)
            << "a block past the image was asked for";
        EXPECT_TRUE(b.ui.statuses.contains("Erasing sector 0... done"))
            << "the controller's progress is not shown without its colon";
    }
}

TEST(ControllerLink, StopsErasingAtTheFirstRefusedBlock)
{
    Bench b(8 * 0x1000, 0x1000);
    b.controller.eraseAnswer = [](int block) {
        return block == 1 ? std::string(":Erasing sector 1...\r:Erase sector 1 failed\r!\r") : std::string();
    };
    b.Open();
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(b.link.EraseImageArea(&b.ui, 5 * 0x1000)) << "a refused block counts as erased";
    EXPECT_LT(t.elapsed(), 10000) << "a \"!\" answer is waited out instead of ending the block";
    EXPECT_EQ(b.Count("xmc 0xFEEC 2"), 0) << "blocks after the refused one were erased: " << Joined(b.Lines());
    EXPECT_EQ(b.controller.ErasedBlocks(), std::vector<int>{0});
}

TEST(ControllerLink, ErasesWithTheKeyOfTheControllerThatAnswers)
{
    Bench b(4 * 0x1000, 0x1000);
    b.controller.answers["*ctype"] = "!\r";  // older firmware: VELM5
    b.Open();
    EXPECT_TRUE(b.link.EraseImageArea(&b.ui, 100));
    EXPECT_EQ(b.Count("xmc 0xFEEB 0"), 1) << Joined(b.Lines());
}

TEST(ControllerLink, RefusesToEraseForAnImageLargerThanTheStore)
{
    Bench b(4 * 0x1000, 0x1000);
    b.Open();
    EXPECT_FALSE(b.link.EraseImageArea(&b.ui, 4 * 0x1000 + 1));
    EXPECT_TRUE(b.controller.ErasedBlocks().empty()) << "blocks were erased for an image that cannot fit";
}

// ------------------------------------------------------------ data

TEST(ControllerLink, SendsTheImageDataInEscapedLines)
{
    Bench b;
    b.Open();
    // Every byte value, a run of 128 zero bytes (a line that is escaped
    // throughout) and a tail that is not a whole line.
    std::vector<uint8_t> data(256);
    for (int i = 0; i < 256; i++)
        data[size_t(i)] = uint8_t(i);
    data.insert(data.end(), 128, 0x00);
    const auto tail = Pattern(3000);
    data.insert(data.end(), tail.begin(), tail.end());
    ASSERT_TRUE(b.link.SendImageData(data.data(), uint32_t(data.size()), &b.ui, &b.ui)) << b.ui.BoxTexts();
    EXPECT_EQ(b.controller.TransferStarts(), std::vector<uint32_t>{2}) << "the data starts at image offset 2";
    const auto store = b.controller.Store();
    ASSERT_EQ(store.size(), data.size() + 2) << "the controller stored a different amount";
    EXPECT_EQ(FirstDifference(std::vector<uint8_t>(store.begin() + 2, store.end()), data), "");
    for (const std::string& l : b.controller.DataLines())
        if (l != " Q")
            EXPECT_LE(ScriptedController::Unescape(l).size(), 128u) << "a line carries more than xmpmax allows";
    std::string zeros;
    for (int i = 0; i < 128; i++)
        zeros += " 0";
    const auto lines = b.controller.DataLines();
    EXPECT_NE(std::find(lines.begin(), lines.end(), zeros), lines.end())
        << "the 128 zero bytes did not go as one fully escaped line";
    EXPECT_EQ(b.Count(" Q"), 2) << "the transfer ends with \" Q\" twice";
    EXPECT_EQ(b.ui.LastStatus(),
              QString::asprintf("Sending data %zu/%zu (100.0%%: %zuB/s)...", data.size(), data.size(), data.size()))
        << "the progress of the last line";
    EXPECT_TRUE(b.ui.boxes.empty()) << b.ui.BoxTexts();
}

TEST(ControllerLink, SendsLinesOfSixtyFourBytesToAControllerWithoutXmpmax)
{
    Bench b;
    b.controller.answers["xmpmax"] = "!\r";
    b.Open();
    const auto data = Pattern(200);
    ASSERT_TRUE(b.link.SendImageData(data.data(), 200, &b.ui, &b.ui)) << b.ui.BoxTexts();
    const auto lines = b.controller.DataLines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(ScriptedController::Unescape(lines[0]).size(), 64u) << "xmpmax answered \"!\" means 64-byte lines";
    EXPECT_EQ(ScriptedController::Unescape(lines[3]).size(), 8u);
}

TEST(ControllerLink, RefusesAChunkSizeItCannotSend)
{
    struct Case {
        std::string answer;
        const char* what;
    } cases[] = {
        {"0\r>\r", "a chunk of 0"},
        {"257\r>\r", "a chunk above 256"},
        {"1\r>\r", "a chunk of one byte (the flash takes whole words)"},
        {":what?\r>\r", "an answer that is no number"},
    };
    for (const Case& c : cases) {
        Bench b;
        b.controller.answers["xmpmax"] = c.answer;
        b.Open();
        const uint8_t data[4] = {1, 2, 3, 4};
        EXPECT_FALSE(b.link.SendImageData(data, 4, &b.ui, &b.ui)) << c.what;
        ASSERT_EQ(b.ui.boxes.size(), 1u) << c.what << ": " << b.ui.BoxTexts();
        EXPECT_EQ(b.ui.boxes[0].text, "Device not responding") << c.what;
        EXPECT_EQ(b.ui.boxes[0].title, "Programming") << c.what;
        EXPECT_EQ(b.Count("xmp 0x0 0x2 0"), 0) << c.what << ": programming started anyway";
    }
}

TEST(ControllerLink, RoundsAnOddChunkSizeDownToWholeWords)
{
    Bench b;
    b.controller.answers["xmpmax"] = "101\r>\r";
    b.Open();
    const auto data = Pattern(400);
    ASSERT_TRUE(b.link.SendImageData(data.data(), 400, &b.ui, &b.ui)) << b.ui.BoxTexts();
    EXPECT_EQ(ScriptedController::Unescape(b.controller.DataLines()[0]).size(), 100u)
        << "an odd line loses its last byte in the controller's flash";
}

TEST(ControllerLink, StopsWhenTheControllerEndsTheTransfer)
{
    struct Case {
        const char* what;
        int line;  // the data line that is answered so; -1: no "p>" after "xmp"
        std::string answer;
        std::vector<std::string> boxes;
    } cases[] = {
        {"past the end of the store", 2, "\rCannot write past end of external memory!\r!\r",
         {"Bad programming response: 'Cannot write past end of external memory!'",
          "Bad programming response: '!'", "Device stopped programming unexpectedly!"}},
        {"back at the prompt", 1, ">\r", {"Device stopped programming unexpectedly!"}},
        {"never asking for data", -1, "", {"Device stopped programming unexpectedly!"}},
    };
    for (const Case& c : cases) {
        Bench b;
        if (c.line < 0)
            b.controller.answers["xmp 0x0 0x2 0"] = ">\r";
        else
            b.controller.dataAnswer = [&c](uint32_t, int line, const std::string&) {
                return line == c.line ? c.answer : std::string();
            };
        b.Open();
        const auto data = Pattern(2000);
        QElapsedTimer t;
        t.start();
        EXPECT_FALSE(b.link.SendImageData(data.data(), 2000, &b.ui, &b.ui)) << c.what;
        EXPECT_LT(t.elapsed(), 20000) << c.what << ": the failure is waited for too long";
        std::vector<std::string> boxes;
        for (const RecordedBox& box : b.ui.boxes)
            boxes.push_back(box.text.toStdString());
        EXPECT_EQ(boxes, c.boxes) << c.what;
        if (!b.ui.boxes.empty())
            EXPECT_EQ(b.ui.boxes.back().title, "Programming Timed Out") << c.what;
        const size_t lines = b.controller.DataLines().size();
        EXPECT_LE(lines, size_t(std::max(c.line, 0) + 3)) << c.what << ": lines went on after the transfer ended";
    }
}

// ------------------------------------------------------------ validity word

TEST(ControllerLink, WritesTheValidityWordOfTheControllerLast)
{
    struct Case {
        std::string type;
        uint16_t word;
    } cases[] = {{"1\r>\r", 0xFEEC}, {"!\r", 0xFEEB}};
    for (const Case& c : cases) {
        Bench b;
        b.controller.answers["*ctype"] = c.type;
        b.controller.validityWord = c.word;
        b.Open();
        const auto data = Pattern(300);
        ASSERT_TRUE(b.link.SendImageData(data.data(), 300, &b.ui, &b.ui)) << b.ui.BoxTexts();
        ASSERT_TRUE(b.link.ProgramValidityWord(&b.ui)) << b.ui.BoxTexts();
        EXPECT_EQ(b.controller.TransferStarts(), (std::vector<uint32_t>{2, 0}))
            << "the validity word is not written in its own transfer after the data";
        const auto store = b.controller.Store();
        ASSERT_GE(store.size(), 2u);
        EXPECT_EQ(store[0] | store[1] << 8, c.word) << "*ctype answered " << c.type;
        EXPECT_EQ(b.controller.DataLines().back(), " Q");
    }
}

TEST(ControllerLink, ReportsAValidityWordTheControllerDoesNotTake)
{
    Bench b;
    b.controller.validityWord = 0x1234;  // the controller validates something else
    b.Open();
    EXPECT_FALSE(b.link.ProgramValidityWord(&b.ui)) << "\":invalid data in Flash\" and \"!\" counted as success";
}

// ------------------------------------------------------------ CRC and load

TEST(ControllerLink, ReadsTheControllersCrcOfTheStore)
{
    Bench b;
    b.Open();
    std::vector<uint8_t> image = Pattern(1000);
    image[0] = 0xEC;
    image[1] = 0xFE;
    image[4] = 1000 & 0xFF;
    image[5] = 1000 >> 8;
    image[6] = image[7] = 0;
    ASSERT_TRUE(b.link.SendImageData(image.data() + 2, 998, &b.ui, &b.ui));
    ASSERT_TRUE(b.link.ProgramValidityWord(&b.ui));
    EXPECT_EQ(b.link.ReadExternalCrc(), QString::asprintf("0x%04X", CRC16_Modbus(image.data(), 1000)));
}

TEST(ControllerLink, AsksForTheCrcAgainUntilItComes)
{
    Bench b;
    b.controller.hook = [&b](const std::string& line) {
        if (line != "*CEXT")
            return std::string();
        const int asked = b.Count("*CEXT");
        // ":x..." starts with neither "0" nor has "x" second only by chance.
        return std::string(asked == 1 ? ":busy\r!\r" : asked == 2 ? ":x\r!\r" : "0xBEEF\r>\r");
    };
    b.Open();
    EXPECT_EQ(b.link.ReadExternalCrc(), "0xBEEF") << Joined(b.Lines());
}

TEST(ControllerLink, ASlowCrcIsWaitedForAndLeavesNoAnswerBehind)
{
    Bench b;
    b.controller.hook = [](const std::string& line) {
        if (line != "*CEXT")
            return std::string();
        // A large store: the CRC takes longer than a read waits.
        QThread::msleep(300);
        return std::string("0xBEEF\r>\r");
    };
    b.Open();
    EXPECT_EQ(b.link.ReadExternalCrc(), "0xBEEF") << Joined(b.Lines());
    b.Settle();
    EXPECT_EQ(b.Count("*CEXT"), 1) << "the CRC was asked for again while its answer was on the way";
    b.link.SendCommand("vers");
    char line[CControllerLink::kReplyCapacity];
    b.link.ReadLine(line, sizeof line);
    EXPECT_EQ(std::string(line).rfind("VELM", 0), 0u) << "vers was answered with \"" << line << "\"";
}

TEST(ControllerLink, MakesTheStoredImageLive)
{
    struct Case {
        std::string answer;
        bool ok;
        QString status;
    } cases[] = {
        {":Loading image\r>\r", true, ">"},
        {":No .BIN file in flash or on SD card\r!\r", false, "!"},
    };
    for (const Case& c : cases) {
        Bench b;
        b.controller.answers["*LOAD"] = c.answer;
        b.Open();
        EXPECT_EQ(b.link.StartLoad(&b.ui), c.ok) << c.answer;
        EXPECT_TRUE(b.ui.statuses.contains(c.answer.substr(0, c.answer.find('\r')).c_str()))
            << "the controller's report is not shown";
        EXPECT_EQ(b.ui.LastStatus(), c.status);
    }

    Bench silent;
    silent.controller.answers["*LOAD"] = "\x01";
    silent.Open();
    silent.link.SetLoadBound(500);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(silent.link.StartLoad(&silent.ui)) << "a controller that never answers *LOAD loaded it";
    EXPECT_LT(t.elapsed(), 3000) << "the wait for *LOAD has no bound";
}

TEST(ControllerLink, DrainsAControllerThatKeepsTalkingWithinABound)
{
    Bench b;
    b.Open();
    std::atomic<bool> talking{true};
    std::thread chatter([&] {
        while (talking) {
            b.pty->Send(":still here\r");
            QThread::msleep(5);
        }
    });
    QElapsedTimer t;
    t.start();
    b.link.DrainInput();
    const qint64 ms = t.elapsed();
    talking = false;
    chatter.join();
    EXPECT_LT(ms, 5000) << "DrainInput never returns while the controller talks";
}
