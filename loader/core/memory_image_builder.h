// Builds the memory image (format/memimage.h) for the selected controller
// model from the image list, the macro file and the font list, and writes the
// macro header file of "#define" lines next to the macro file.
#pragma once

#include "core/controller_model.h"
#include "core/font_list.h"
#include "core/macro_compiler.h"
#include "core/ui.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

class CImageFile;
class ImageWriter;

struct BuildInputs {
    ControllerModel model = ControllerModel::Velm5Plus;
    QStringList images;  // BMP and GIF paths, in the order of the image list
    QString macroFile;   // empty: no macros
    QString fontList;    // empty: no fonts
};

class CMemoryImageBuilder {
public:
    explicit CMemoryImageBuilder(UserInterface& ui) : m_ui(ui) {}

    // The image (its size bytes), or nothing when the build failed, was
    // cancelled or would hold nothing; every failure has been shown, and the
    // status line says that the build stopped and why.  Re-reads the macro
    // file and the font list.
    std::optional<std::vector<uint8_t>> BuildMemoryImage(const BuildInputs& inputs);

    // The tables of the last build's macro file and font list.
    const CMacroCompiler& Macros() const { return m_macros; }
    const CFontList& Fonts() const { return m_fonts; }

    // Where the header file's date comes from (the local time by default).
    void SetClock(std::function<std::time_t()> clock) { m_clock = std::move(clock); }

    // The macro file's path with its extension replaced by "h" ("h" added to
    // a name without one).
    static QString MacroHeaderPath(const QString& macroPath);

    // Converts one loaded BMP to RGB565 and compresses it when that pays:
    // pixels gets the bytes to store, size their count.  Returns the bytes per
    // line (width x 2), or 0 when the bitmap cannot be stored.
    static int ConvertAndCompressBitmap(const CImageFile& image, std::vector<uint8_t>& pixels,
                                        uint32_t& size, int& bitsPerPixel, bool& compressed,
                                        const QString& path);
    // The transparent colour of a file named like logo.trF81F.bmp: the four
    // hexadecimal digits after the first ".tr", or -1.
    static int ParseHex16(const QString& text);
    static uint32_t AlignImagePointer(uint32_t position);

private:
    struct Build;
    std::optional<std::vector<uint8_t>> BuildImage(const BuildInputs& inputs);
    bool MacroPass(Build& b, const QString& macroPath);
    bool WriteMacroHeader(const QString& macroPath, const std::vector<int>& numbers);
    bool ImagePass(Build& b, const QStringList& images);
    bool StoreGif(Build& b, int entry, const QString& path, bool& skipRest);
    bool StoreBmp(Build& b, int entry, const QString& path, bool& skipRest);
    bool FontPass(Build& b);
    // Each returns whether the build goes on.  Ask: an image's box with OK
    // and Cancel; Refuse: an error box that stops the build with status.
    bool Ask(const QString& text, const QString& path);
    bool Refuse(const QString& text, const QString& status);
    bool Stop(const QString& status);

    UserInterface& m_ui;
    CMacroCompiler m_macros;
    CFontList m_fonts;
    std::function<std::time_t()> m_clock;
    QString m_stopped;  // the status of a build that stops
};
