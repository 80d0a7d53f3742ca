#include "core/bin_file.h"

#include "core/memory_image_builder.h"
#include "format/memimage.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <new>

namespace {

uint32_t U32(const QByteArray& b, int at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
           uint32_t(uint8_t(b[at + 3])) << 24;
}

}  // namespace

bool CBinImage::SaveToBinFile(const QString& path, CMemoryImageBuilder& builder, const BuildInputs& inputs,
                              QString& crcText)
{
    const QString notSaved = QString("File not saved - \"%1\"").arg(QFileInfo(path).fileName());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_ui.messageBox(file.errorString(), path, UserInterface::Icon::Error);
        m_ui.setStatus(notSaved);
        return false;
    }
    const std::optional<std::vector<uint8_t>> image = builder.BuildMemoryImage(inputs);
    if (!image) {
        file.cancelWriting();
        return false;
    }
    const uint32_t size = uint32_t(image->size());
    m_ui.setStatus("Saving...");
    crcText = ImageCrcText(inputs.model, image->data(), size);
    const bool written = file.write(reinterpret_cast<const char*>(image->data()), size) == qint64(size);
    if (!written || !file.commit()) {
        m_ui.messageBox("Error: " + file.errorString(), "Write Error", UserInterface::Icon::Error);
        file.cancelWriting();
        m_ui.setStatus(notSaved);
        return false;
    }
    m_ui.setStatus(QString("Saved \"%1\" (%2 bytes)").arg(QFileInfo(path).fileName()).arg(size));
    return true;
}

void CBinImage::Unload()
{
    m_image.clear();
    m_image.shrink_to_fit();
    m_fileLength = 0;
    m_crcText.clear();
    m_loaded = false;
}

bool CBinImage::LoadFromBinFile(const QString& path, ControllerModel model)
{
    // Whatever was loaded before is gone from here on; a load that fails
    // says so in the status line.
    Unload();
    if (Load(path, model))
        return true;
    Unload();
    m_ui.setStatus(QString("File not loaded - \"%1\"").arg(QFileInfo(path).fileName()));
    return false;
}

bool CBinImage::Load(const QString& path, ControllerModel model)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_ui.messageBox("Access denied! File can not read", "Error ", UserInterface::Icon::Error);
        return false;
    }
    const QString name = QFileInfo(path).fileName();
    auto wrongFormat = [&] {
        m_ui.messageBox("Wrong BIN file format for selected controller type", "BIN File Format",
                        UserInterface::Icon::Error);
        return false;
    };
    const qint64 fileLength = file.size();
    const QByteArray header = file.read(sizeof(ExtMemHeader));
    if (header.size() < int(sizeof(ExtMemHeader)) ||
        (uint8_t(header[0]) | uint8_t(header[1]) << 8) != GetValidityWord(model))
        return wrongFormat();

    qint64 length = fileLength;
    if (fileLength >= qint64(sizeof(ExtMemTrailer)) && file.seek(fileLength - qint64(sizeof(ExtMemTrailer)))) {
        const QByteArray trailer = file.read(sizeof(ExtMemTrailer));
        if (trailer.size() == int(sizeof(ExtMemTrailer)) && U32(trailer, 0) == EXTMEM_TRAILER_MAGIC)
            length -= qint64(sizeof(ExtMemTrailer));
    }
    // What is left must still hold the header; the controller's images are
    // far smaller than 4 GB.
    if (length < qint64(sizeof(ExtMemHeader)) || length > qint64(UINT32_MAX - 3))
        return wrongFormat();

    const uint32_t rounded = ExtMemAlign(uint32_t(length));
    try {
        m_image.assign(rounded, 0);
    } catch (const std::bad_alloc&) {
        m_ui.messageBox("Access Denied! Not enough RAM is available to run this application", "Dravik Error",
                        UserInterface::Icon::None);
        return false;
    }
    m_ui.setStatus("Loading...");
    bool ok = file.seek(0) && file.read(reinterpret_cast<char*>(m_image.data()), length) == length;
    if (ok) {
        m_crcText = ImageCrcText(model, m_image.data(), uint32_t(length));
        if (model == ControllerModel::Velm5Plus)
            ok = CheckValidityWord(m_ui, model, m_image.data(), uint32_t(length)) != 0;
    }
    if (!ok)
        return false;
    m_fileLength = uint32_t(length);
    m_loaded = true;
    m_ui.setStatus(QString("Loaded \"%1\" (%2 bytes)").arg(name).arg(length));
    return true;
}
