// What the tests of Dravik's core share: a user interface that records every
// box and status text, a temporary folder with fixture makers (pictures by
// ImageMagick, SIF fonts and text files written here) and little-endian
// readers for built images.
#pragma once

#include "core/ui.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <deque>
#include <ostream>
#include <string>
#include <vector>

// Assertion messages show Qt's strings as text.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

struct RecordedBox {
    QString text;
    QString title;
    UserInterface::Icon icon;
    UserInterface::Buttons buttons;
};

class RecordingUi : public UserInterface {
public:
    void setStatus(const QString& text) override { statuses.push_back(text); }
    Answer messageBox(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
    bool processEvents() override;
    QString askFile(const FileRequest& request) override;

    // Every box text, one a line, for assertion messages.
    std::string BoxTexts() const;
    QString LastStatus() const { return statuses.isEmpty() ? QString() : statuses.back(); }

    std::vector<RecordedBox> boxes;
    QStringList statuses;
    std::deque<Answer> answers;     // answers to OK/Cancel boxes in turn; then Ok
    int quitAtPump = -1;            // processEvents call (from 0) that reports a quit
    int pumps = 0;
    std::deque<QString> files;      // what the file dialogs return in turn; then ""
    std::vector<FileRequest> fileRequests;
};

struct Rgb {
    uint8_t r, g, b;
};

// Pixels row by row, top row first.
using Picture = std::vector<std::vector<Rgb>>;

class Workdir {
public:
    Workdir();
    QString Path(const QString& name) const;
    QString Write(const QString& name, const QByteArray& bytes) const;
    QByteArray Read(const QString& name) const;
    // A 24-bit BMP (BITMAPINFOHEADER) made by ImageMagick.
    QString Bmp(const QString& name, const Picture& picture) const;
    // The same picture as ImageMagick writes it with its default (V5) header.
    QString BmpV5(const QString& name, const Picture& picture) const;
    QString Gif(const QString& name, const Picture& picture) const;
    // A minimal SIF font: the magic "GUIP" followed by body.
    QString Sif(const QString& name, const QByteArray& body) const;
    // Any picture ImageMagick makes: convert <raw picture> options format:path.
    QString Convert(const QString& name, const Picture& picture, const QStringList& options,
                    const QString& format) const;

private:
    QTemporaryDir m_dir;
};

// A picture of one colour.
Picture Solid(int width, int height, Rgb colour);

uint16_t Read16(const std::vector<uint8_t>& image, size_t at);
uint32_t Read32(const std::vector<uint8_t>& image, size_t at);
std::vector<uint8_t> Bytes(const QByteArray& bytes);

// An image laid out by hand: 0xFF everywhere unless a field is set.
class ExpectedImage {
public:
    explicit ExpectedImage(size_t size) : bytes(size, 0xFF) {}
    ExpectedImage& U8(size_t at, uint8_t v);
    ExpectedImage& U16(size_t at, uint16_t v);
    ExpectedImage& U32(size_t at, uint32_t v);
    ExpectedImage& Data(size_t at, const std::vector<uint8_t>& data);
    ExpectedImage& Text(size_t at, const std::string& text);  // with its NUL
    // A directory entry: type, three zero bytes, address, size.
    ExpectedImage& Entry(size_t index, uint8_t type, uint32_t address, uint32_t size);
    std::vector<uint8_t> bytes;
};

// Empty when equal; otherwise where and how the two first differ.
std::string FirstDifference(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected);
