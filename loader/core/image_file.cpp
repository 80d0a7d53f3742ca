#include "core/image_file.h"

#include <QFile>

#include <new>

namespace {

constexpr size_t kBmpHeaderBytes = 54;  // file header 14 + info header 40
constexpr size_t kGifHeaderBytes = 13;  // signature 6 + logical screen descriptor 7
constexpr size_t kGifScreen = 6;

// BMP rows are padded to a multiple of 4 bytes.
uint64_t Stride(uint64_t bytesPerLine) { return (bytesPerLine + 3) & ~uint64_t(3); }

// The box of a BMP whose size is less than its headers and rows of
// bytesPerLine bytes need: the file header, info (the rest of the headers),
// the rows and their sum.
QString SizeMismatchText(uint32_t bfSize, int64_t info, uint64_t bytesPerLine, int height)
{
    const uint64_t rows = bytesPerLine * uint64_t(height);
    return QString::asprintf("This BMP's size (%d) does not match the BMP's header info:\n"
                             "header:                         %5d\n"
                             "info:                           %5lld\n"
                             "bytesPerLine: %2d * height %3d = %5lld\n"
                             "----------------------------------------\n"
                             "Total                            %6lld\n",
                             int(bfSize), 14, static_cast<long long>(info), int(bytesPerLine), height,
                             static_cast<long long>(rows), static_cast<long long>(14 + info + int64_t(rows)));
}

}  // namespace

CImageFile::~CImageFile() = default;

void CImageFile::Reset()
{
    m_data.clear();
    m_data.shrink_to_fit();
    m_length = 0;
    m_loaded = false;
    m_gif = false;
    m_pixelOffset = 0;
}

uint16_t CImageFile::U16(size_t offset) const
{
    return static_cast<uint16_t>(m_data[offset] | (m_data[offset + 1] << 8));
}

uint32_t CImageFile::U32(size_t offset) const
{
    return uint32_t(m_data[offset]) | uint32_t(m_data[offset + 1]) << 8 |
           uint32_t(m_data[offset + 2]) << 16 | uint32_t(m_data[offset + 3]) << 24;
}

bool CImageFile::Fail(UserInterface* owner, const QString& path, const QString& text)
{
    Reset();
    if (owner)
        owner->messageBox(text, path, UserInterface::Icon::Error);
    return false;
}

bool CImageFile::ReadWhole(const QString& path, size_t minimum, UserInterface* owner,
                           const QString& missing)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(owner, path, missing);
    const qint64 size = file.size();
    if (size < qint64(minimum) || size > qint64(UINT32_MAX))
        return Fail(owner, path, "Could not read entire file!");
    try {
        m_data.resize(size_t(size));
    } catch (const std::bad_alloc&) {
        return Fail(owner, path, "Could not read entire file!");
    }
    if (file.read(reinterpret_cast<char*>(m_data.data()), size) != size)
        return Fail(owner, path, "Could not read entire file!");
    m_length = uint32_t(size);
    return true;
}

bool CImageFile::LoadBmp(const QString& path, UserInterface* owner)
{
    Reset();
    if (!ReadWhole(path, kBmpHeaderBytes, owner, "Failed to find BMP file!"))
        return false;
    if (m_data[0] != 'B' || m_data[1] != 'M')
        return Fail(owner, path, "Does not appear to be a BMP file! (no \"BM\" at start of file)");
    const uint32_t bfSize = U32(2);
    if (bfSize > m_length)
        return Fail(owner, path, "Does not appear to be a BMP file! (Bad Header)");
    m_length = bfSize;  // what lies behind bfSize is not the picture's

    if (U16(28) != 24)
        return Fail(owner, path, "This BMP is not 24 bits per pixel and will be skipped.");
    if (U32(30) != 0)
        return Fail(owner, path, "This BMP is compressed and will be skipped.");

    // The record stores width and height in 16 bits; rows are bottom-up, so a
    // negative (top-down) height is not a picture this program can store.
    const int32_t width = S32(18);
    const int32_t height = S32(22);
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF)
        return Fail(owner, path,
                    QString::asprintf("This BMP's width (%d) and height (%d) must be between 1 and "
                                      "65535; it will be skipped.",
                                      width, height));

    // The header's own account of the file: 54 bytes of headers and the
    // unpadded rows.  Beyond it the pixels must really lie inside the file:
    // from bfOffBits on, rows a padded stride apart (the last row needs only
    // its pixels).
    const uint32_t offBits = U32(10);
    const uint64_t bytesPerLine = uint64_t(width) * 3;
    const uint64_t stride = Stride(bytesPerLine);
    if (uint64_t(bfSize) < bytesPerLine * uint64_t(height) + kBmpHeaderBytes)
        return Fail(owner, path, SizeMismatchText(bfSize, 40, bytesPerLine, height));
    if (offBits < kBmpHeaderBytes || uint64_t(offBits) + stride * uint64_t(height - 1) + bytesPerLine > bfSize)
        return Fail(owner, path, SizeMismatchText(bfSize, int64_t(offBits) - 14, stride, height));
    m_pixelOffset = offBits;
    m_gif = false;
    m_loaded = true;
    return true;
}

bool CImageFile::LoadGif(const QString& path, UserInterface* owner)
{
    Reset();
    if (!ReadWhole(path, kGifHeaderBytes, owner, "Failed to find GIF file!"))
        return false;
    const uint8_t* d = m_data.data();
    if (d[0] != 'G' || d[1] != 'I' || d[2] != 'F' || d[3] != '8' || d[5] != 'a')
        return Fail(owner, path, "Does not appear to be a GIF file! (Bad Header)");
    m_gif = true;
    m_loaded = true;
    return true;
}

bool CImageFile::IsGifName(const QString& path)
{
    return path.endsWith(QLatin1String("gif")) || path.endsWith(QLatin1String("GIF"));
}

bool CImageFile::ConvertToRgb565(uint16_t* destination) const
{
    if (!m_loaded || m_gif)
        return false;
    const int width = GetWidth();
    const int height = GetHeight();
    const uint64_t stride = Stride(uint64_t(width) * 3);
    for (int y = 0; y < height; y++) {
        const uint8_t* src = m_data.data() + m_pixelOffset + stride * uint64_t(height - 1 - y);
        uint16_t* dst = destination + size_t(y) * size_t(width);
        for (int x = 0; x < width; x++, src += 3) {
            const unsigned b = src[0], g = src[1], r = src[2];
            dst[x] = static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
        }
    }
    return true;
}

int CImageFile::GetWidth() const { return IsLoaded() && !m_gif ? S32(18) : 0; }
int CImageFile::GetHeight() const { return IsLoaded() && !m_gif ? S32(22) : 0; }
int CImageFile::GetBitsPerPixel() const { return IsLoaded() && !m_gif ? U16(28) : 0; }
int CImageFile::GetBytesPerLine() const { return GetBitsPerPixel() * GetWidth() / 8; }

uint32_t CImageFile::GetTotalBytes() const
{
    return uint32_t(GetBytesPerLine()) * uint32_t(GetHeight());
}

uint32_t CImageFile::GetColorCount() const
{
    if (!IsLoaded() || m_gif)
        return 0;
    const uint32_t used = U32(46);
    return used ? used : uint32_t(1) << GetBitsPerPixel();
}

uint32_t CImageFile::GetFileLength() const { return m_loaded ? m_length : 0; }
const uint8_t* CImageFile::GetFileData() const { return m_loaded ? m_data.data() : nullptr; }

int CImageFile::GetGifWidth() const { return IsGif() ? U16(kGifScreen) : 0; }
int CImageFile::GetGifHeight() const { return IsGif() ? U16(kGifScreen + 2) : 0; }
int CImageFile::GetGifTableBits() const { return IsGif() ? (m_data[kGifScreen + 4] & 7) + 1 : 0; }

int CImageFile::GetGifColorCount() const
{
    return IsGif() ? 1 << (((m_data[kGifScreen + 4] >> 4) & 7) + 1) : 0;
}
