// Dravik without its window: the inputs of a memory image (model, image
// list, macro file, font list), the work of the buttons that act on them and
// the .BIN image that Store may send.  The window shows what this holds and
// calls the member of each button's name.
#pragma once

#include "core/bin_file.h"
#include "core/controller_model.h"
#include "core/memory_image_builder.h"
#include "core/ui.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class CDravikCore {
public:
    explicit CDravikCore(UserInterface& ui) : m_ui(ui), m_builder(ui), m_bin(ui) {}

    // The inputs, as the window's fields show them.
    ControllerModel Model() const { return m_inputs.model; }
    void SetModel(ControllerModel model) { m_inputs.model = model; }
    const QStringList& Images() const { return m_inputs.images; }
    // The image list changed (Add BMP, Remove BMP, Load BMP List, sorting):
    // a loaded .BIN image no longer stands for the inputs.
    void SetImages(const QStringList& paths);
    const QString& MacroFile() const { return m_inputs.macroFile; }
    const QString& FontListFile() const { return m_inputs.fontList; }
    const BuildInputs& Inputs() const { return m_inputs; }

    // "Add Macro File" with the file chosen: the path is kept whatever the
    // file holds; true when it compiled.
    bool AddMacroFile(const QString& path);
    // "Add Font List" with the file chosen; true when every line is valid.
    bool AddFontList(const QString& path);
    // The same, asking for the file first; lastFolder is the dialog's start
    // folder and gets the chosen file's folder.
    bool OnAddMacroFile(QString& lastFolder);
    bool OnAddFontList(QString& lastFolder);

    // Builds the image from the inputs (Store, Save to .bin file).
    std::optional<std::vector<uint8_t>> BuildMemoryImage();
    // What the "Max SD file size" field shows: the selected model's capacity.
    uint32_t MaxSdFileSize() const { return GetModelInfo(m_inputs.model).capacity; }

    // "Save to .bin file" and "Load from .bin file"; CrcText() then holds what
    // the CRC field shows.  A successful load empties the inputs; a failed one
    // leaves nothing loaded.
    bool SaveToBinFile(const QString& path);
    bool LoadFromBinFile(const QString& path);
    bool OnSaveToBinFile(QString& lastFolder);
    bool OnLoadFromBinFile(QString& lastFolder);

    const CBinImage& LoadedImage() const { return m_bin; }
    void DropLoadedImage() { m_bin.Unload(); }
    const QString& CrcText() const { return m_crcText; }

    const CMacroCompiler& Macros() const { return m_macros; }
    const CFontList& Fonts() const { return g_fontList; }
    CMemoryImageBuilder& Builder() { return m_builder; }

private:
    QString AskFile(bool save, const QString& filter, QString& lastFolder);
    void InputsChanged();

    UserInterface& m_ui;
    BuildInputs m_inputs;
    CMacroCompiler m_macros;  // as compiled by "Add Macro File"
    CFontList g_fontList;     // as read by "Add Font List"
    CMemoryImageBuilder m_builder;
    CBinImage m_bin;
    QString m_crcText;
};
