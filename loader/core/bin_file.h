// .BIN files: a memory image saved to disk (for the controller's SD card) or
// loaded back to be programmed by Store.
#pragma once

#include "core/controller_model.h"
#include "core/ui.h"

#include <QString>

#include <cstdint>
#include <vector>

class CMemoryImageBuilder;
struct BuildInputs;

// The image of the last .BIN loaded; while one is held, Store sends it
// instead of building.
class CBinImage {
public:
    explicit CBinImage(UserInterface& ui) : m_ui(ui) {}

    // Builds the image and writes it to path.  The file is replaced only
    // when the whole image has been written: a failed or cancelled build, or
    // a failed write, leaves an existing file as it was.  crcText gets what
    // the CRC field shows.
    bool SaveToBinFile(const QString& path, CMemoryImageBuilder& builder, const BuildInputs& inputs,
                       QString& crcText);

    // Loads path for the given model, dropping any image held before.  A
    // trailing ExtMemTrailer is not part of the image; the image is kept
    // zero-padded to a multiple of 4.  The status line says what was loaded,
    // or that nothing was.
    bool LoadFromBinFile(const QString& path, ControllerModel model);

    void Unload();
    bool IsLoaded() const { return m_loaded; }
    // The bytes Store sends: the image rounded up to a multiple of 4.
    const std::vector<uint8_t>& Image() const { return m_image; }
    // The file's image length before rounding.
    uint32_t FileImageLength() const { return m_fileLength; }
    // "0x%04X" (VELM5 Plus) or "N/A" (VELM5), as computed at load time.
    const QString& CrcText() const { return m_crcText; }

private:
    bool Load(const QString& path, ControllerModel model);

    UserInterface& m_ui;
    std::vector<uint8_t> m_image;
    uint32_t m_fileLength = 0;
    QString m_crcText;
    bool m_loaded = false;
};
