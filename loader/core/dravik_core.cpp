#include "core/dravik_core.h"

#include <QFileInfo>

namespace {

const char kMacroFilter[] = "MAC Files (*.mac,*.txt)|*.mac;*.txt||";
const char kFontListFilter[] = "Font List File (*.kfl)|*.kfl||";
const char kBinFilter[] = "Binary File (*.BIN)|*.BIN||";

}  // namespace

void CDravikCore::InputsChanged()
{
    // The loaded .BIN no longer stands for the inputs, nor do its CRC and
    // the status that told of its loading.
    if (m_bin.IsLoaded()) {
        m_crcText.clear();
        m_ui.setStatus(QString());
    }
    m_bin.Unload();
}

void CDravikCore::SetImages(const QStringList& paths)
{
    m_inputs.images = paths;
    InputsChanged();
}

bool CDravikCore::AddMacroFile(const QString& path)
{
    m_inputs.macroFile = path;
    m_ui.setStatus(QString());
    InputsChanged();
    return m_macros.Compile(path, m_ui);
}

bool CDravikCore::AddFontList(const QString& path)
{
    m_inputs.fontList = path;
    m_ui.setStatus(QString());
    InputsChanged();
    return g_fontList.LoadFontList(path, m_ui);
}

QString CDravikCore::AskFile(bool save, const QString& filter, QString& lastFolder)
{
    UserInterface::FileRequest request;
    request.save = save;
    request.filter = filter;
    request.folder = lastFolder;
    if (filter == kBinFilter)
        request.defaultSuffix = "BIN";
    const QString path = m_ui.askFile(request);
    if (!path.isEmpty())
        lastFolder = QFileInfo(path).absolutePath();
    return path;
}

bool CDravikCore::OnAddMacroFile(QString& lastFolder)
{
    const QString path = AskFile(false, kMacroFilter, lastFolder);
    return !path.isEmpty() && AddMacroFile(path);
}

bool CDravikCore::OnAddFontList(QString& lastFolder)
{
    const QString path = AskFile(false, kFontListFilter, lastFolder);
    return !path.isEmpty() && AddFontList(path);
}

std::optional<std::vector<uint8_t>> CDravikCore::BuildMemoryImage()
{
    std::optional<std::vector<uint8_t>> image = m_builder.BuildMemoryImage(m_inputs);
    if (image)
        m_crcText = ImageCrcText(m_inputs.model, image->data(), uint32_t(image->size()));
    return image;
}

bool CDravikCore::SaveToBinFile(const QString& path)
{
    return m_bin.SaveToBinFile(path, m_builder, m_inputs, m_crcText);
}

bool CDravikCore::LoadFromBinFile(const QString& path)
{
    const bool hadLoaded = m_bin.IsLoaded();
    if (!m_bin.LoadFromBinFile(path, m_inputs.model)) {
        if (hadLoaded)  // its CRC went with it
            m_crcText.clear();
        return false;
    }
    m_crcText = m_bin.CrcText();
    m_inputs.images.clear();
    m_inputs.macroFile.clear();
    m_inputs.fontList.clear();
    return true;
}

bool CDravikCore::OnSaveToBinFile(QString& lastFolder)
{
    const QString path = AskFile(true, kBinFilter, lastFolder);
    return !path.isEmpty() && SaveToBinFile(path);
}

bool CDravikCore::OnLoadFromBinFile(QString& lastFolder)
{
    const QString path = AskFile(false, kBinFilter, lastFolder);
    return !path.isEmpty() && LoadFromBinFile(path);
}
