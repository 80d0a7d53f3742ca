// The font list (.kfl): one external font a line, "alias file" with the file
// taken relative to the list's folder.  The builder copies the listed SIF
// fonts into the memory image in list order.
#pragma once

#include "core/ui.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class CFontList {
public:
    static constexpr int kMaxFonts = 128;

    struct Entry {
        QByteArray alias;  // 1..8 characters
        QString path;      // full path of the .sif file
    };

    // Reads the list; true when every line is valid.  The first bad line ends
    // the load with its box and leaves the list empty.
    bool LoadFontList(const QString& path, UserInterface& ui);
    void Clear() { m_entries.clear(); }

    int Count() const { return int(m_entries.size()); }
    const std::vector<Entry>& Entries() const { return m_entries; }

    // The kind the controller draws the font as, from the file's name:
    // "AA2", "AA4", "EXT", "EXF" (first match, any case), else proportional.
    static uint8_t FontKind(const QString& path);

private:
    std::vector<Entry> m_entries;
};
