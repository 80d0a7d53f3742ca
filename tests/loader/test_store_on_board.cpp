// "Store into VELM" into the simulated board itself: Dravik builds an image
// of pictures made by ImageMagick, programs it over the board's command port
// at 115200 bit/s, and the board then holds it byte for byte, reports its
// CRC, and draws its pictures pixel for pixel.
#include "core/controller_link.h"
#include "core/dravik_core.h"
#include "core/programming_run.h"
#include "format/crc16.h"
#include "loader_support.h"
#include "simulated_board.h"

#include <gtest/gtest.h>

namespace {

constexpr int kWidth = 800;  // the reference build's panel
constexpr int kHeight = 480;
const char kSettings[] = "baud=115200 parity=N data=8 stop=1";

class RecordingView : public ProgrammingView {
public:
    void ShowDownloadableSize(const QString& t) override { downloadable = t; }
    void ShowMaxSdFileSize(const QString&) override {}
    void ShowCrc(const QString& t) override { crc = t; }
    void ShowConnected(bool) override {}
    void ShowModel(std::optional<ControllerModel>) override {}
    QString downloadable, crc;
};

// Noise, stored uncompressed (".unc" in its name), with a black band: whole lines of
// zero bytes, every one of them escaped.
Picture NoiseWithBlackBand()
{
    Picture p(kHeight, std::vector<Rgb>(kWidth, Rgb{0, 0, 0}));
    uint32_t seed = 12345;
    for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++) {
            seed = seed * 1103515245u + 12345u;
            if (y < 200 || y >= 203)
                p[y][x] = {uint8_t(seed >> 24), uint8_t(seed >> 16), uint8_t(seed >> 8)};
        }
    return p;
}

// Bands of colour: stored RLE16-compressed.
Picture Bands()
{
    const Rgb colours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}, {32, 32, 32}, {255, 255, 0}};
    Picture p(kHeight, std::vector<Rgb>(kWidth));
    for (int y = 0; y < kHeight; y++)
        for (int x = 0; x < kWidth; x++)
            p[y][x] = colours[(x / 50 + y / 40) % 6];
    return p;
}

// The frame buffer's bytes with the picture drawn over the whole screen.
std::vector<uint8_t> Rgb565(const Picture& p)
{
    std::vector<uint8_t> bytes;
    for (const auto& row : p)
        for (const Rgb& c : row) {
            const uint16_t v = uint16_t((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3));
            bytes.push_back(uint8_t(v));
            bytes.push_back(uint8_t(v >> 8));
        }
    return bytes;
}

QString CrcText(const std::vector<uint8_t>& bytes)
{
    return QString::asprintf("0x%04X", CRC16_Modbus(bytes.data(), uint32_t(bytes.size())));
}

// Sends a command and returns its answer lines up to the prompt.
QStringList Ask(CControllerLink& link, const char* command)
{
    link.SendCommand(command);
    QStringList lines;
    char line[CControllerLink::kReplyCapacity];
    for (int empty = 0; empty < 100;) {
        if (link.ReadLine(line, sizeof line) == 0) {
            empty++;
            continue;
        }
        lines.append(line);
        if (line[0] == '>' || line[0] == '!')
            break;
    }
    return lines;
}

}  // namespace

TEST(StoreOnTheBoard, ProgramsTheImageAndTheBoardDrawsItsPicturesPixelForPixel)
{
    SimulatedBoard board("max");
    ASSERT_TRUE(board.Ok()) << board.Error().toStdString();

    Workdir dir;
    const Picture noise = NoiseWithBlackBand();
    const Picture bands = Bands();
    const QStringList images{dir.Bmp("noise.unc.bmp", noise), dir.Bmp("bands.bmp", bands),
                             dir.Gif("small.gif", Solid(7, 5, {0, 128, 255}))};

    RecordingUi ui;
    RecordingView view;
    CDravikCore core(ui);
    core.SetModel(ControllerModel::Velm5Plus);
    core.SetImages(images);
    const std::optional<std::vector<uint8_t>> built = core.BuildMemoryImage();
    ASSERT_TRUE(built) << ui.BoxTexts();
    const std::vector<uint8_t>& image = *built;
    ASSERT_EQ(Read32(image, 8 + 12 * 1), 1u) << "the noise is not stored raw: the test needs its escaped lines";
    ASSERT_EQ(Read32(image, 8 + 12 * 2) & 0xFF, 2u) << "the bands are not stored RLE16-compressed";

    CProgrammingRun run(ui, view, core);
    run.SetPort(board.Uart1(), "115200");
    ASSERT_TRUE(run.OnStoreIntoController()) << ui.BoxTexts() << ui.statuses.join(" | ").toStdString();
    EXPECT_TRUE(ui.boxes.empty()) << "Store showed boxes (a CRC mismatch among them?): " << ui.BoxTexts();
    EXPECT_TRUE(ui.LastStatus().startsWith(QString("Programmed %1 bytes in ").arg(image.size())))
        << ui.LastStatus().toStdString();
    EXPECT_EQ(view.crc, CrcText(image)) << "the CRC field does not show the image's CRC";
    EXPECT_EQ(view.downloadable, "29097984") << "the board's store size is not shown";

    // The board, asked afresh, holds the image and draws it.
    CControllerLink link(ui);
    ASSERT_TRUE(link.Open(board.Uart1(), kSettings, &ui)) << ui.BoxTexts();
    ASSERT_EQ(link.SyncToPrompt(), 2) << "the board does not answer after Store";
    EXPECT_EQ(link.ReadExternalCrc(), CrcText(image)) << "*CEXT differs from the CRC of the image built";
    EXPECT_NE(Ask(link, "ls").join("\n").toStdString().find("Records: 4"), std::string::npos)
        << "the stored image is not the live one: " << Ask(link, "ls").join(" | ").toStdString();

    const struct {
        const char* command;
        const Picture* picture;
    } draws[] = {{"xi 1 0 0", &noise}, {"xi 2 0 0", &bands}};
    for (const auto& d : draws) {
        const QStringList answer = Ask(link, d.command);
        ASSERT_FALSE(answer.isEmpty()) << d.command << " got no answer";
        EXPECT_EQ(answer.last(), ">") << d.command << " answered " << answer.join(" | ").toStdString();
        const QStringList crc = Ask(link, "*CRC");
        ASSERT_FALSE(crc.isEmpty());
        EXPECT_EQ(crc.first(), CrcText(Rgb565(*d.picture)))
            << d.command << " does not leave the picture on the screen pixel for pixel";
    }
    link.Close();

    const QByteArray flash = board.StopAndReadFlash(0x400000, qint64(image.size()));
    EXPECT_EQ(FirstDifference(Bytes(flash), image), "") << "the board's flash at the image store";
}
