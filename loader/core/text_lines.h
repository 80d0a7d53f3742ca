// Reading the text files users write (macro files, font lists), whichever
// system wrote them: LF or CR LF line ends, an optional UTF-8 byte-order mark.
#pragma once

#include <QString>

#include <string>
#include <vector>

// The file's lines as bytes, without their CR and LF characters; a last line
// without a line end counts.  False, with the system's text in *error, when
// the file cannot be read.
bool ReadTextLines(const QString& path, std::vector<std::string>& lines, QString* error = nullptr);
