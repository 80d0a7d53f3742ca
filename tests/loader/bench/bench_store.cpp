// Figures: "Store into VELM" of a 1 MB image at 115200 bit/s into the
// simulated board running in real time, in wall-clock time.  The data lines
// go one at a time, each after the board's "p>" prompt, so the wire carries
// at best the escaped lines (with their CR) and the prompts back to back:
// the fraction of that which Store reaches is the figure (goal: 0.85).
//
// Usage: bench_store [IMAGE_KB]   (default 1024; the simulator is found as
// the tests find it, $VELM_SIMULATOR or the host tree's reference build)
#include "core/controller_link.h"
#include "core/dravik_core.h"
#include "core/programming_run.h"
#include "simulated_board.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kBaud = 115200;
constexpr double kBytesPerSecond = kBaud / 10.0;  // 8N1: ten bits a byte
constexpr uint32_t kChunk = 128;                  // what the board's "xmpmax" answers
constexpr int kPromptBytes = 3;                   // "p>" CR

class QuietUi : public UserInterface {
public:
    void setStatus(const QString& text) override { last = text; }
    Answer messageBox(const QString& text, const QString& title, Icon, Buttons) override
    {
        std::fprintf(stderr, "box [%s] %s\n", qPrintable(title), qPrintable(text));
        boxes++;
        return Answer::Ok;
    }
    bool processEvents() override { return true; }
    QString askFile(const FileRequest&) override { return QString(); }
    QString last;
    int boxes = 0;
};

class NoView : public ProgrammingView {
public:
    void ShowDownloadableSize(const QString&) override {}
    void ShowMaxSdFileSize(const QString&) override {}
    void ShowCrc(const QString&) override {}
    void ShowConnected(bool) override {}
    void ShowModel(std::optional<ControllerModel>) override {}
};

// A picture of noise, width 512, stored uncompressed: 1 KB a row.
bool MakePicture(const QString& path, int rows)
{
    QByteArray rgb;
    uint32_t seed = 4711;
    for (int i = 0; i < 512 * rows; i++) {
        seed = seed * 1103515245u + 12345u;
        rgb.append(char(seed >> 24)).append(char(seed >> 16)).append(char(seed >> 8));
    }
    const QString raw = path + ".rgb";
    QFile f(raw);
    if (!f.open(QIODevice::WriteOnly) || f.write(rgb) != rgb.size())
        return false;
    f.close();
    QProcess convert;
    convert.start("convert", {"-size", QString("512x%1").arg(rows), "-depth", "8", "rgb:" + raw, "-type",
                              "TrueColor", "BMP3:" + path});
    return convert.waitForFinished(60000) && convert.exitCode() == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int kb = argc > 1 ? std::atoi(argv[1]) : 1024;
    if (kb <= 0) {
        std::fprintf(stderr, "usage: bench_store [IMAGE_KB]\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString picture = dir.filePath("noise.unc.bmp");  // ".unc": stored raw
    if (!MakePicture(picture, kb)) {
        std::fprintf(stderr, "bench_store: ImageMagick could not make the picture\n");
        return 1;
    }
    QuietUi ui;
    NoView view;
    CDravikCore core(ui);
    core.SetModel(ControllerModel::Velm5Plus);
    core.SetImages({picture});
    const std::optional<std::vector<uint8_t>> image = core.BuildMemoryImage();
    if (!image)
        return 1;

    // What the wire carries at best: every escaped line with its CR, and a
    // prompt before each line and after the last.
    uint64_t wire = kPromptBytes;
    uint32_t lines = 0;
    for (uint32_t at = 2; at < image->size(); at += kChunk, lines++) {
        const uint32_t n = std::min<uint32_t>(kChunk, uint32_t(image->size()) - at);
        wire += uint64_t(CControllerLink::EscapeData(image->data() + at, n).size()) + 1 + kPromptBytes;
    }

    SimulatedBoard board("realtime");
    if (!board.Ok()) {
        std::fprintf(stderr, "bench_store: %s\n", qPrintable(board.Error()));
        return 1;
    }
    CProgrammingRun run(ui, view, core);
    run.SetPort(board.Uart1(), QString::number(kBaud));
    QElapsedTimer whole;
    whole.start();
    const bool ok = run.OnStoreIntoController();
    const double storeSeconds = whole.elapsed() / 1000.0;
    if (!ok || ui.boxes) {
        std::fprintf(stderr, "bench_store: Store failed: %s\n", qPrintable(ui.last));
        return 1;
    }
    const double seconds = run.DataMilliseconds() / 1000.0;
    const double ideal = double(wire) / kBytesPerSecond;
    std::printf("Store into the simulated board in real time at %d bit/s\n", kBaud);
    std::printf("  image             %zu bytes in %u lines of %u bytes\n", image->size(), lines, kChunk);
    std::printf("  wire              %llu bytes of escaped lines and prompts (%.3f per image byte)\n",
                static_cast<unsigned long long>(wire), double(wire) / double(image->size()));
    std::printf("  data transfer     %.1f s wall clock, %.0f image bytes/s\n", seconds, image->size() / seconds);
    std::printf("  wire at best      %.1f s (%.0f bytes/s)\n", ideal, kBytesPerSecond);
    std::printf("  fraction          %.3f of what the wire carries (goal 0.85)\n", ideal / seconds);
    std::printf("  whole Store       %.1f s (connect, erase, data, validity word, CRC, *LOAD)\n", storeSeconds);
    std::printf("  status            %s\n", qPrintable(ui.last));
    return 0;
}
