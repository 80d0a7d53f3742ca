#include "loader_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>

#include <gtest/gtest.h>

UserInterface::Answer RecordingUi::messageBox(const QString& text, const QString& title, Icon icon,
                                              Buttons buttons)
{
    boxes.push_back({text, title, icon, buttons});
    if (buttons == Buttons::OkCancel && !answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return Answer::Ok;
}

bool RecordingUi::processEvents() { return pumps++ != quitAtPump; }

QString RecordingUi::askFile(const FileRequest& request)
{
    fileRequests.push_back(request);
    if (files.empty())
        return QString();
    const QString f = files.front();
    files.pop_front();
    return f;
}

std::string RecordingUi::BoxTexts() const
{
    std::string all;
    for (const RecordedBox& b : boxes)
        all += "[" + b.title.toStdString() + "] " + b.text.toStdString() + "\n";
    return all.empty() ? "(no box)" : all;
}

Workdir::Workdir() { EXPECT_TRUE(m_dir.isValid()) << "a temporary folder could not be made"; }

QString Workdir::Path(const QString& name) const { return m_dir.filePath(name); }

QString Workdir::Write(const QString& name, const QByteArray& bytes) const
{
    const QString path = Path(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << "cannot write fixture " << path.toStdString();
    f.write(bytes);
    return path;
}

QByteArray Workdir::Read(const QString& name) const
{
    QFile f(Path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString Workdir::Convert(const QString& name, const Picture& picture, const QStringList& options,
                         const QString& format) const
{
    QByteArray rgb;
    for (const auto& row : picture)
        for (const Rgb& p : row)
            rgb.append(char(p.r)).append(char(p.g)).append(char(p.b));
    const QString raw = Write(name + ".rgb", rgb);
    const QString out = Path(name);
    QProcess convert;
    convert.start("convert", QStringList{"-size", QString("%1x%2").arg(picture[0].size()).arg(picture.size()),
                                         "-depth", "8", "rgb:" + raw} +
                                 options + QStringList{format + out});
    const bool ran = convert.waitForFinished(60000) && convert.exitStatus() == QProcess::NormalExit &&
                     convert.exitCode() == 0;
    EXPECT_TRUE(ran) << "ImageMagick could not make " << out.toStdString() << ": "
                     << convert.readAllStandardError().toStdString();
    QFile::remove(raw);
    return out;
}

QString Workdir::Bmp(const QString& name, const Picture& picture) const
{
    return Convert(name, picture, {"-type", "TrueColor"}, "BMP3:");
}

QString Workdir::BmpV5(const QString& name, const Picture& picture) const
{
    return Convert(name, picture, {"-type", "TrueColor"}, "BMP:");
}

QString Workdir::Gif(const QString& name, const Picture& picture) const
{
    return Convert(name, picture, {}, "GIF:");
}

QString Workdir::Sif(const QString& name, const QByteArray& body) const
{
    return Write(name, QByteArray("GUIP") + body);
}

Picture Solid(int width, int height, Rgb colour)
{
    return Picture(size_t(height), std::vector<Rgb>(size_t(width), colour));
}

uint16_t Read16(const std::vector<uint8_t>& image, size_t at)
{
    return at + 2 <= image.size() ? uint16_t(image[at] | image[at + 1] << 8) : 0xDEAD;
}

uint32_t Read32(const std::vector<uint8_t>& image, size_t at)
{
    return at + 4 <= image.size() ? uint32_t(Read16(image, at)) | uint32_t(Read16(image, at + 2)) << 16
                                  : 0xDEADBEEF;
}

std::vector<uint8_t> Bytes(const QByteArray& bytes) { return {bytes.begin(), bytes.end()}; }

ExpectedImage& ExpectedImage::U8(size_t at, uint8_t v)
{
    bytes.at(at) = v;
    return *this;
}

ExpectedImage& ExpectedImage::U16(size_t at, uint16_t v) { return U8(at, uint8_t(v)).U8(at + 1, uint8_t(v >> 8)); }

ExpectedImage& ExpectedImage::U32(size_t at, uint32_t v) { return U16(at, uint16_t(v)).U16(at + 2, uint16_t(v >> 16)); }

ExpectedImage& ExpectedImage::Data(size_t at, const std::vector<uint8_t>& data)
{
    for (size_t i = 0; i < data.size(); i++)
        U8(at + i, data[i]);
    return *this;
}

ExpectedImage& ExpectedImage::Text(size_t at, const std::string& text)
{
    return Data(at, std::vector<uint8_t>(text.c_str(), text.c_str() + text.size() + 1));
}

ExpectedImage& ExpectedImage::Entry(size_t index, uint8_t type, uint32_t address, uint32_t size)
{
    const size_t at = 8 + 12 * index;
    return U8(at, type).U8(at + 1, 0).U8(at + 2, 0).U8(at + 3, 0).U32(at + 4, address).U32(at + 8, size);
}

std::string FirstDifference(const std::vector<uint8_t>& actual, const std::vector<uint8_t>& expected)
{
    const size_t n = std::min(actual.size(), expected.size());
    for (size_t i = 0; i < n; i++) {
        if (actual[i] != expected[i]) {
            char text[96];
            std::snprintf(text, sizeof text, "byte at offset %zu (0x%zX) is 0x%02X, expected 0x%02X", i, i,
                          actual[i], expected[i]);
            return text;
        }
    }
    if (actual.size() != expected.size())
        return "image is " + std::to_string(actual.size()) + " bytes, expected " + std::to_string(expected.size());
    return std::string();
}
