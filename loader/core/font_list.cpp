#include "core/font_list.h"

#include "core/text_lines.h"
#include "format/memimage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Why the font file cannot be used, or an empty string.
QString CheckFontFile(const QString& path)
{
    const QString notSif = QString("\"%1\" is not a valid \".SIF\" file.").arg(path);
    if (!path.endsWith(QLatin1String(".sif")) && !path.endsWith(QLatin1String(".SIF")))
        return notSif;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString("Can't open font file \"%1\"").arg(path);
    if (file.read(4) != QByteArray("GUIP", 4))
        return notSif;
    return QString();
}

}  // namespace

uint8_t CFontList::FontKind(const QString& path)
{
    QString name = path;
    name.replace('\\', '/');
    name = name.mid(name.lastIndexOf('/') + 1).toUpper();
    if (name.contains("AA2"))
        return EXTFONT_AA2;
    if (name.contains("AA4"))
        return EXTFONT_AA4;
    if (name.contains("EXT"))
        return EXTFONT_PROP_EXT;
    if (name.contains("EXF"))
        return EXTFONT_FRAMED;
    return EXTFONT_PROP;
}

// Reads one non-blank line "alias file ..." into entry; the problem, or an
// empty string.
static QString ParseFontLine(const std::string& line, const QString& folder, CFontList::Entry& entry)
{
    size_t i = 0;
    while (IsBlank(line[i]))
        i++;
    const size_t aliasStart = i;
    while (i < line.size() && !IsBlank(line[i]))
        i++;
    if (i - aliasStart > EXTFONT_ALIAS_MAX)
        return "Alias > 8 chars";
    entry.alias = QByteArray(line.data() + aliasStart, int(i - aliasStart));

    while (i < line.size() && IsBlank(line[i]))
        i++;
    if (i == line.size())
        return "Missing font filename";
    const size_t nameStart = i;
    while (i < line.size() && !IsBlank(line[i]))
        i++;
    // Lists written on Windows separate folders with backslashes.
    QString name = QString::fromLocal8Bit(line.data() + nameStart, int(i - nameStart));
    name.replace('\\', '/');
    entry.path = QDir(folder).filePath(name);
    return CheckFontFile(entry.path);
}

bool CFontList::LoadFontList(const QString& path, UserInterface& ui)
{
    m_entries.clear();
    std::vector<std::string> lines;
    QString systemError;
    if (!ReadTextLines(path, lines, &systemError)) {
        ui.messageBox(systemError, path, UserInterface::Icon::Error);
        return false;
    }
    ui.setStatus(QString());
    const QString folder = QFileInfo(path).path();

    int lineNumber = 0;
    for (const std::string& line : lines) {
        lineNumber++;
        if (std::all_of(line.begin(), line.end(), IsBlank))
            continue;
        Entry entry;
        QString problem = ParseFontLine(line, folder, entry);
        if (problem.isEmpty() && Count() == kMaxFonts)
            problem = QString::asprintf("Too many fonts. Max supported is %d", kMaxFonts);
        if (!problem.isEmpty()) {
            m_entries.clear();
            ui.messageBox(QString("Error on line %1 \"%2\":\n%3\nAborting...")
                              .arg(lineNumber)
                              .arg(QString::fromLocal8Bit(line.data(), int(line.size())), problem),
                          path, UserInterface::Icon::Error);
            return false;
        }
        m_entries.push_back(entry);
    }
    return true;
}
