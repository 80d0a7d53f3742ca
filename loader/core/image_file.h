// One image file of the image list, held whole in memory: checks that it is a
// kind the memory image can carry (an uncompressed 24-bit BMP, or a GIF, which
// is stored unchanged), answers the information panel's questions and turns
// BMP pixels into RGB565.
#pragma once

#include "core/ui.h"

#include <QString>

#include <cstdint>
#include <vector>

class CImageFile {
public:
    virtual ~CImageFile();

    // Message boxes (title: the path; error icon) appear only with an owner.
    bool LoadBmp(const QString& path, UserInterface* owner);
    bool LoadGif(const QString& path, UserInterface* owner);
    void Reset();

    // True when the path's last three characters are "gif" or "GIF".
    static bool IsGifName(const QString& path);

    // destination: GetWidth() x GetHeight() pixels, rows top-down.  False when
    // no BMP is loaded.
    bool ConvertToRgb565(uint16_t* destination) const;

    bool IsLoaded() const { return m_loaded; }
    bool IsGif() const { return m_loaded && m_gif; }

    // Each 0 when nothing (or, for the BMP ones, a GIF) is loaded.
    int GetWidth() const;
    int GetHeight() const;
    int GetBitsPerPixel() const;
    int GetBytesPerLine() const;  // unpadded: bits per pixel x width / 8
    uint32_t GetTotalBytes() const;
    uint32_t GetColorCount() const;
    uint32_t GetFileLength() const;  // bfSize for a BMP, the file length for a GIF
    const uint8_t* GetFileData() const;
    int GetGifWidth() const;
    int GetGifHeight() const;
    int GetGifTableBits() const;
    int GetGifColorCount() const;

private:
    bool Fail(UserInterface* owner, const QString& path, const QString& text);
    bool ReadWhole(const QString& path, size_t minimum, UserInterface* owner, const QString& missing);
    uint16_t U16(size_t offset) const;
    uint32_t U32(size_t offset) const;
    int32_t S32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }

    std::vector<uint8_t> m_data;  // the whole file
    uint32_t m_length = 0;        // bfSize for a BMP
    bool m_loaded = false;
    bool m_gif = false;
    uint32_t m_pixelOffset = 0;  // bfOffBits
};
