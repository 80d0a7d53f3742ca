#include "core/memory_image_builder.h"

#include "core/image_file.h"
#include "core/image_writer.h"
#include "core/rle16_encoder.h"
#include "format/memimage.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <new>

namespace {

constexpr uint32_t kCompressAbove = 2000;  // raw bytes; smaller bitmaps are stored raw

QString FileName(const QString& path) { return QFileInfo(path).fileName(); }

void SetEntry(ImageWriter& w, uint32_t index, uint8_t type, uint32_t address, uint32_t size)
{
    const uint32_t at = ExtMemDirEntryOffset(index);
    w.putAt8(at + offsetof(ExtMemDirEntry, type), type);
    w.putAt32(at + offsetof(ExtMemDirEntry, address), address);
    w.putAt32(at + offsetof(ExtMemDirEntry, size), size);
}

// Shows a loader's boxes with OK and Cancel, Cancel the default, and keeps
// whether the user cancelled.
class OkCancelBoxes : public UserInterface {
public:
    explicit OkCancelBoxes(UserInterface& ui) : m_ui(ui) {}
    void setStatus(const QString& text) override { m_ui.setStatus(text); }
    Answer messageBox(const QString& text, const QString& title, Icon icon, Buttons) override
    {
        const Answer answer = m_ui.messageBox(text, title, icon, Buttons::OkCancel);
        cancelled = cancelled || answer == Answer::Cancel;
        return answer;
    }
    bool processEvents() override { return m_ui.processEvents(); }
    QString askFile(const FileRequest& request) override { return m_ui.askFile(request); }
    bool cancelled = false;

private:
    UserInterface& m_ui;
};

bool ReadFile(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

}  // namespace

struct CMemoryImageBuilder::Build {
    ImageWriter& w;
    uint32_t base;
    int images;
};

uint32_t CMemoryImageBuilder::AlignImagePointer(uint32_t position) { return ExtMemAlign(position); }

QString CMemoryImageBuilder::MacroHeaderPath(const QString& macroPath)
{
    const int slash = std::max(macroPath.lastIndexOf('/'), macroPath.lastIndexOf('\\'));
    const int dot = macroPath.lastIndexOf('.');
    if (dot > slash)
        return macroPath.left(dot + 1) + "h";
    return macroPath + ".h";
}

int CMemoryImageBuilder::ParseHex16(const QString& text)
{
    const int at = text.indexOf(QLatin1String(".tr"));
    if (at < 0 || text.size() < at + 7)
        return -1;
    bool ok = false;
    const QString digits = text.mid(at + 3, 4);
    for (QChar c : digits)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')))
            return -1;
    const int value = digits.toInt(&ok, 16);
    return ok ? value : -1;
}

int CMemoryImageBuilder::ConvertAndCompressBitmap(const CImageFile& image, std::vector<uint8_t>& pixels,
                                                  uint32_t& size, int& bitsPerPixel, bool& compressed,
                                                  const QString& path)
{
    pixels.clear();
    size = 0;
    compressed = false;
    bitsPerPixel = EXTMEM_BITMAP_BPP;
    const uint64_t width = uint64_t(std::max(image.GetWidth(), 0));
    const uint64_t height = uint64_t(std::max(image.GetHeight(), 0));
    const uint64_t bytesPerLine = width * 2;
    const uint64_t raw = bytesPerLine * height;
    // The record keeps bytes per line in 16 bits.
    if (raw == 0 || bytesPerLine > 0xFFFF || raw > UINT32_MAX)
        return 0;
    try {
        std::vector<uint16_t> rgb(size_t(width * height));
        if (!image.ConvertToRgb565(rgb.data()))
            return 0;
        const QString name = FileName(path);
        if (raw > kCompressAbove && !name.contains(QLatin1String(".unc")) &&
            !name.contains(QLatin1String(".tr"))) {
            pixels.resize(size_t(raw));
            CRle16Encoder encoder;
            const uint32_t encoded = encoder.Encode(bitsPerPixel, rgb.data(), pixels.data(), uint32_t(raw));
            if (encoded) {
                pixels.resize(encoded);
                size = encoded;
                compressed = true;
                return int(bytesPerLine);
            }
        }
        pixels.resize(size_t(raw));
        for (size_t i = 0; i < rgb.size(); i++) {
            pixels[2 * i] = uint8_t(rgb[i]);
            pixels[2 * i + 1] = uint8_t(rgb[i] >> 8);
        }
        size = uint32_t(raw);
        return int(bytesPerLine);
    } catch (const std::bad_alloc&) {
        pixels.clear();
        size = 0;
        return 0;
    }
}

bool CMemoryImageBuilder::Ask(const QString& text, const QString& path)
{
    if (m_ui.messageBox(text, path, UserInterface::Icon::Error, UserInterface::Buttons::OkCancel) ==
        UserInterface::Answer::Ok)
        return true;
    return Stop(QString("Build cancelled at \"%1\"").arg(FileName(path)));
}

bool CMemoryImageBuilder::Refuse(const QString& text, const QString& status)
{
    m_ui.messageBox(text, "Error ", UserInterface::Icon::Error);
    return Stop(status);
}

bool CMemoryImageBuilder::Stop(const QString& status)
{
    m_stopped = status;
    return false;
}

std::optional<std::vector<uint8_t>> CMemoryImageBuilder::BuildMemoryImage(const BuildInputs& inputs)
{
    // A build that stops says so, and why, in the status line; its progress
    // text would tell of a build still running.
    m_stopped = "Build stopped";
    std::optional<std::vector<uint8_t>> image = BuildImage(inputs);
    if (!image)
        m_ui.setStatus(m_stopped);
    return image;
}

std::optional<std::vector<uint8_t>> CMemoryImageBuilder::BuildImage(const BuildInputs& inputs)
{
    const ModelInfo model = GetModelInfo(inputs.model);

    m_fonts.Clear();
    if (!inputs.fontList.trimmed().isEmpty() && !m_fonts.LoadFontList(inputs.fontList, m_ui)) {
        Stop(QString("Build stopped: error in font list \"%1\"").arg(FileName(inputs.fontList)));
        return std::nullopt;
    }
    const int imageCount = inputs.images.size();
    const uint32_t entries = uint32_t(imageCount) + uint32_t(m_fonts.Count()) + 1;
    if (entries > 0xFFFF) {
        Refuse(QString::asprintf("Too many images and fonts: a memory image holds at most %d", 0xFFFF - 1),
               "Build stopped: too many images and fonts");
        return std::nullopt;
    }

    std::vector<uint8_t> buffer;
    try {
        buffer.assign(model.capacity, 0xFF);
    } catch (const std::bad_alloc&) {
        m_ui.messageBox("Access Denied! Not enough RAM is available to run this application", "Dravik Error",
                        UserInterface::Icon::None);
        Stop("Build stopped: not enough memory");
        return std::nullopt;
    }
    ImageWriter w(buffer);
    w.putAt16(offsetof(ExtMemHeader, validity), model.validityWord);
    w.putAt16(offsetof(ExtMemHeader, count), uint16_t(entries));
    w.putAt32(offsetof(ExtMemHeader, size), 0);
    w.putBytesAt(sizeof(ExtMemHeader), std::vector<uint8_t>(entries * sizeof(ExtMemDirEntry), 0).data(),
                 entries * sizeof(ExtMemDirEntry));
    w.skip(ExtMemDirEntryOffset(entries));

    Build b{w, model.base, imageCount};
    m_macros = CMacroCompiler();
    QString macroPath = inputs.macroFile;
    while (macroPath.endsWith(' '))
        macroPath.chop(1);
    if (!macroPath.isEmpty() && !MacroPass(b, macroPath))
        return std::nullopt;
    if (!ImagePass(b, inputs.images) || !FontPass(b))
        return std::nullopt;

    const uint32_t size = ExtMemAlign(w.position());
    if (!w.ok()) {  // every object was checked before it was written
        Refuse("Internal error: the memory image overran its capacity", "Build stopped: internal error");
        return std::nullopt;
    }
    if (size <= sizeof(ExtMemHeader) + sizeof(ExtMemDirEntry)) {
        Refuse("Nothing to store: the image list, the macro file and the font list are empty",
               "Build stopped: nothing to store");
        return std::nullopt;
    }
    w.putAt32(offsetof(ExtMemHeader, size), size);
    buffer.resize(size);
    m_ui.setStatus("Done");
    return buffer;
}

bool CMemoryImageBuilder::MacroPass(Build& b, const QString& macroPath)
{
    // The macro file may have changed since it was added: compile it afresh,
    // so every stored call and every table slot matches the file as it is.
    const QString macroError = QString("Build stopped: error in macro file \"%1\"").arg(FileName(macroPath));
    if (!m_macros.Compile(macroPath, m_ui, false))
        return Stop(macroError);
    const int count = m_macros.MacroCount();

    std::vector<std::vector<std::string>> texts(static_cast<size_t>(count));
    uint64_t textBytes = 0;
    for (int k = 0; k < count; k++) {
        const CMacroCompiler::Macro& macro = m_macros.Bodies()[size_t(k)];
        for (const CMacroCompiler::BodyLine& line : macro.lines) {
            std::string stored;
            if (!m_macros.MacroLineForImage(line.text, stored))
                continue;
            if (stored.size() > size_t(CMacroCompiler::kMaxLineLength)) {
                m_ui.messageBox(QString::asprintf("Error on line %d\n\nEach line must be %d ASCII characters or less",
                                                  line.lineNumber, CMacroCompiler::kMaxLineLength),
                                "Macro format error", UserInterface::Icon::Error);
                return Stop(macroError);
            }
            textBytes += stored.size() + 1;
            texts[size_t(k)].push_back(std::move(stored));
        }
        if (texts[size_t(k)].size() > 0xFFFF) {
            m_ui.messageBox(QString::asprintf("Error on line %d\n\nA macro can hold at most %d lines",
                                              macro.defineLine, 0xFFFF),
                            "Macro format error", UserInterface::Icon::Error);
            return Stop(macroError);
        }
    }
    std::string names(1, '\0');  // number 0 has no name
    for (int k = 1; k <= count; k++)
        names.append(m_macros.g_macroNames[size_t(k)]).push_back('\0');

    ImageWriter& w = b.w;
    const uint64_t blockBytes = uint64_t(count) * sizeof(ExtMacroEntry) + sizeof(ExtMacroNameTable) +
                                names.size() + textBytes;
    if (!w.fits(blockBytes))
        return Refuse("Macro file too large for device", "Build stopped: macro file too large for device");
    const uint32_t table = w.position();
    SetEntry(w, 0, EXTMEM_MACROS, b.base + table, uint32_t(count));
    w.skip(uint32_t(count) * sizeof(ExtMacroEntry));
    w.put16(EXTMACRO_NAMES_MAGIC);
    w.put16(EXTMACRO_NAMES_VERSION);
    w.put16(uint16_t(names.size()));
    w.putBytes(names.data(), names.size());

    std::vector<int> numbers;
    for (int k = 0; k < count; k++) {
        const uint32_t at = table + uint32_t(k) * sizeof(ExtMacroEntry);
        w.putAt32(at + offsetof(ExtMacroEntry, address), b.base + w.position());
        w.putAt16(at + offsetof(ExtMacroEntry, lineCount), uint16_t(texts[size_t(k)].size()));
        w.putAt8(at + offsetof(ExtMacroEntry, number), uint8_t(k + 1));
        for (const std::string& text : texts[size_t(k)])
            w.putBytes(text.c_str(), text.size() + 1);
        numbers.push_back(k + 1);
    }
    // A header that cannot be written costs the host program its names, not
    // the controller its macros: report it and go on.
    if (!WriteMacroHeader(macroPath, numbers))
        m_ui.messageBox("Access denied!\nFile cannot be opened for Create/Write", MacroHeaderPath(macroPath),
                        UserInterface::Icon::Error);
    return true;
}

bool CMemoryImageBuilder::WriteMacroHeader(const QString& macroPath, const std::vector<int>& numbers)
{
    const QString headerPath = MacroHeaderPath(macroPath);
    if (QFileInfo(headerPath).absoluteFilePath() == QFileInfo(macroPath).absoluteFilePath())
        return false;  // never overwrite the macro file itself
    const std::time_t now = m_clock ? m_clock() : std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    QByteArray text = QByteArray("/*\nThis file was generated by Dravik.exe from Kestrom on ") +
                      std::asctime(&local) + " from the file " + macroPath.toLocal8Bit() +
                      "\n\nThis file displays each macro name with its assigned macro number.\n\n"
                      "Include this file in the host control program.\n*/\n\n";
    for (int k : numbers)
        text += "#define " + QByteArray::fromStdString(m_macros.g_macroNames[size_t(k)]) + ' ' +
                QByteArray::number(k) + '\n';
    QSaveFile file(headerPath);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
}

bool CMemoryImageBuilder::ImagePass(Build& b, const QStringList& images)
{
    bool skipRest = false;
    for (int i = 0; i < images.size(); i++) {
        m_ui.setStatus(QString::asprintf("Compressing BMP %d/%d...", i + 1, int(images.size())));
        if (!m_ui.processEvents())
            return Stop("Build stopped: Dravik is closing");
        if (skipRest)
            continue;
        const QString& path = images[i];
        const bool stored = CImageFile::IsGifName(path) ? StoreGif(b, i + 1, path, skipRest)
                                                         : StoreBmp(b, i + 1, path, skipRest);
        if (!stored)
            return false;
    }
    return true;
}

// Each returns false when the user cancelled the build; an image that is
// skipped leaves its entry empty.
bool CMemoryImageBuilder::StoreGif(Build& b, int entry, const QString& path, bool& skipRest)
{
    // The loader's own box says why; Cancel in it stops the build as in every
    // box of this pass.
    CImageFile gif;
    OkCancelBoxes boxes(m_ui);
    if (!gif.LoadGif(path, &boxes))
        return !boxes.cancelled || Stop(QString("Build cancelled at \"%1\"").arg(FileName(path)));
    ImageWriter& w = b.w;
    w.align();
    if (!w.fits(gif.GetFileLength())) {
        skipRest = true;
        return Ask("Ran out of storage space.  This image and all remaining will be skipped.", path);
    }
    const uint32_t at = w.position();
    w.putBytes(gif.GetFileData(), gif.GetFileLength());
    w.align();
    SetEntry(w, uint32_t(entry), EXTMEM_GIF, b.base + at, gif.GetFileLength());
    return true;
}

bool CMemoryImageBuilder::StoreBmp(Build& b, int entry, const QString& path, bool& skipRest)
{
    CImageFile bmp;
    if (!bmp.LoadBmp(path, &m_ui))
        return Ask("Failed to find image file!", path);
    std::vector<uint8_t> pixels;
    uint32_t size = 0;
    int bitsPerPixel = 0;
    bool compressed = false;
    const int bytesPerLine = ConvertAndCompressBitmap(bmp, pixels, size, bitsPerPixel, compressed, path);
    if (bytesPerLine == 0)
        return Ask("BMP Compression failed!  This BMP will be skipped.", path);

    ImageWriter& w = b.w;
    w.align();
    if (!w.fits(uint64_t(sizeof(ExtBitmapRecord)) + size)) {
        skipRest = true;
        return Ask("Ran out of storage space.  This BMP and all remaining will be skipped.", path);
    }
    const int key = ParseHex16(FileName(path));
    const uint8_t type = key >= 0 ? EXTMEM_BITMAP_TRANS : compressed ? EXTMEM_BITMAP_RLE16 : EXTMEM_BITMAP;
    const uint32_t at = w.position();
    w.putAt16(at + offsetof(ExtBitmapRecord, XSize), uint16_t(bmp.GetWidth()));
    w.putAt16(at + offsetof(ExtBitmapRecord, YSize), uint16_t(bmp.GetHeight()));
    w.putAt16(at + offsetof(ExtBitmapRecord, BytesPerLine), uint16_t(bytesPerLine));
    w.putAt16(at + offsetof(ExtBitmapRecord, BitsPerPixel), uint16_t(bitsPerPixel));
    w.putAt32(at + offsetof(ExtBitmapRecord, pData), b.base + at + sizeof(ExtBitmapRecord));
    w.putAt32(at + offsetof(ExtBitmapRecord, pPal), key >= 0 ? uint32_t(key) : 0);
    w.putAt32(at + offsetof(ExtBitmapRecord, pMethods), 0);
    w.skip(sizeof(ExtBitmapRecord));
    w.putBytes(pixels.data(), size);
    w.align();
    SetEntry(w, uint32_t(entry), type, b.base + at, uint32_t(sizeof(ExtBitmapRecord)) + size);
    return true;
}

bool CMemoryImageBuilder::FontPass(Build& b)
{
    ImageWriter& w = b.w;
    const std::vector<CFontList::Entry>& fonts = m_fonts.Entries();
    for (size_t k = 0; k < fonts.size(); k++) {
        if (!m_ui.processEvents())
            return Stop("Build stopped: Dravik is closing");
        QByteArray data;
        if (!ReadFile(fonts[k].path, data))
            return Refuse("Font file not found",
                          QString("Build stopped: font file \"%1\" not found").arg(FileName(fonts[k].path)));
        w.align();
        if (!w.fits(uint64_t(sizeof(ExtFontRecord)) + uint64_t(data.size())))
            return Refuse("Font file(s) too large for device", "Store operation aborted");
        const uint32_t at = w.position();
        char alias[sizeof(ExtFontRecord::alias)] = {};
        std::copy_n(fonts[k].alias.constData(), std::min<size_t>(fonts[k].alias.size(), EXTFONT_ALIAS_MAX), alias);
        w.putAt32(at + offsetof(ExtFontRecord, pAlias), b.base + at + offsetof(ExtFontRecord, alias));
        w.putAt32(at + offsetof(ExtFontRecord, pData), b.base + at + sizeof(ExtFontRecord));
        w.putBytesAt(at + offsetof(ExtFontRecord, alias), alias, sizeof(alias));
        w.putAt8(at + offsetof(ExtFontRecord, kind), CFontList::FontKind(fonts[k].path));
        w.putAt32(at + offsetof(ExtFontRecord, length), uint32_t(data.size()));
        w.skip(sizeof(ExtFontRecord));
        w.putBytes(data.constData(), size_t(data.size()));
        SetEntry(w, uint32_t(b.images) + 1 + uint32_t(k), EXTMEM_FONT, b.base + at, uint32_t(data.size()));
    }
    return true;
}
