#include "core/image_list.h"

#include "core/image_file.h"
#include "core/memory_image_builder.h"
#include "core/text_lines.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <vector>

namespace {

constexpr size_t kFirstBytes = 16;  // stored bytes the notes show
constexpr size_t kBytesPerNote = 8;

// Keeps the texts of the boxes CImageFile would show, for the notes.
class CapturingUi : public UserInterface {
public:
    void setStatus(const QString&) override {}
    Answer messageBox(const QString& text, const QString&, Icon, Buttons) override
    {
        texts.append(text);
        return Answer::Ok;
    }
    bool processEvents() override { return true; }
    QString askFile(const FileRequest&) override { return QString(); }
    QStringList texts;
};

void AddFirstBytes(QStringList& notes, const uint8_t* bytes, size_t count)
{
    const size_t n = std::min(count, kFirstBytes);
    notes.append(QString("First %1 stored bytes:").arg(n));
    for (size_t at = 0; at < n; at += kBytesPerNote) {
        QString line = QString::asprintf("%04zX:", at);
        for (size_t i = at; i < std::min(n, at + kBytesPerNote); i++)
            line += QString::asprintf(" %02X", bytes[i]);
        notes.append(line);
    }
}

}  // namespace

bool IsImagePath(const QString& path)
{
    return path.endsWith(".bmp", Qt::CaseInsensitive) || path.endsWith(".gif", Qt::CaseInsensitive);
}

bool LoadBmpList(const QString& path, QStringList& images, UserInterface& ui)
{
    std::vector<std::string> lines;
    QString error;
    if (!ReadTextLines(path, lines, &error)) {
        ui.messageBox(error, path, UserInterface::Icon::Error);
        return false;
    }
    const QDir folder = QFileInfo(path).absoluteDir();
    QStringList read;
    for (const std::string& line : lines) {
        const QString entry = QString::fromStdString(line).trimmed();
        if (!entry.isEmpty())
            read.append(QDir::cleanPath(folder.absoluteFilePath(entry)));
    }
    images = read;
    return true;
}

bool SaveBmpList(const QString& path, const QStringList& images, UserInterface& ui)
{
    QByteArray text;
    for (const QString& image : images)
        text += image.toUtf8() + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        ui.messageBox("Error: " + file.errorString(), "Write Error", UserInterface::Icon::Error);
        return false;
    }
    return true;
}

void SortImagePaths(QStringList& paths)
{
    std::stable_sort(paths.begin(), paths.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
}

ImageInformation DescribeImage(const QString& path)
{
    ImageInformation info;
    info.image = QFileInfo(path).fileName();
    CapturingUi capture;
    CImageFile file;
    if (CImageFile::IsGifName(path)) {
        if (!file.LoadGif(path, &capture)) {
            info.notes = capture.texts;
            return info;
        }
        info.size = QString("%1 x %2").arg(file.GetGifWidth()).arg(file.GetGifHeight());
        info.colors = QString::number(file.GetGifColorCount());
        info.bitsPerPixel = QString::number(file.GetGifTableBits());
        info.bytesPerLine = "-";
        info.totalBytes = QString::number(file.GetFileLength());
        info.compressed = "GIF";
        info.notes.append(QString("Stored as the GIF file: %1 bytes").arg(file.GetFileLength()));
        AddFirstBytes(info.notes, file.GetFileData(), file.GetFileLength());
        return info;
    }
    if (!file.LoadBmp(path, &capture)) {
        info.notes = capture.texts;
        return info;
    }
    info.size = QString("%1 x %2").arg(file.GetWidth()).arg(file.GetHeight());
    info.colors = QString::number(file.GetColorCount());
    info.bitsPerPixel = QString::number(file.GetBitsPerPixel());
    info.bytesPerLine = QString::number(file.GetBytesPerLine());
    info.totalBytes = QString::number(file.GetTotalBytes());

    std::vector<uint8_t> pixels;
    uint32_t stored = 0;
    int bitsPerPixel = 0;
    bool compressed = false;
    if (CMemoryImageBuilder::ConvertAndCompressBitmap(file, pixels, stored, bitsPerPixel, compressed, path) == 0) {
        info.compressed = "No";
        info.notes.append("This BMP cannot be stored: it is too wide for a bitmap record.");
        return info;
    }
    info.compressed = compressed ? "Yes" : "No";
    const int key = CMemoryImageBuilder::ParseHex16(info.image);
    if (key >= 0)
        info.notes.append(QString::asprintf("Transparent colour 0x%04X", unsigned(key)));
    info.notes.append(QString("Stored as %1: %2 bytes").arg(compressed ? "RLE16" : "RGB565").arg(stored));
    AddFirstBytes(info.notes, pixels.data(), stored);
    return info;
}
