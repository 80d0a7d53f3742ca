// The image list around the builder: its file (one picture path a line),
// its sorting, and what the information panel says about one picture.
#pragma once

#include "core/ui.h"

#include <QString>
#include <QStringList>

// The pictures a list may hold: .bmp and .gif files (any case).
bool IsImagePath(const QString& path);

// The list's paths in order; blank lines are skipped and a relative path is
// taken from the list file's folder.  A file that cannot be read is shown in
// a box titled with its path.
bool LoadBmpList(const QString& path, QStringList& images, UserInterface& ui);
// One path a line, LF line ends.  The file is replaced only when all of it
// was written.
bool SaveBmpList(const QString& path, const QStringList& images, UserInterface& ui);

// By file path, without regard to case (so "b.bmp" comes before "C.bmp").
void SortImagePaths(QStringList& paths);

// The "Selected BMP Information" panel for one picture of the list.
struct ImageInformation {
    QString image;         // file name
    QString size;          // "width x height"
    QString colors;
    QString bitsPerPixel;
    QString bytesPerLine;
    QString totalBytes;
    QString compressed;    // "Yes", "No", or "GIF" for a GIF stored as it is
    QStringList notes;     // how it is stored, its first stored bytes, or why it cannot be
};
ImageInformation DescribeImage(const QString& path);
