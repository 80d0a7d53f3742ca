// What Dravik's fuzz targets share: a user who answers every box with OK
// and never quits, and the target's input as a file of a temporary folder
// (Dravik reads its inputs from files).
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>

#include "core/ui.h"

namespace fuzz {

class QuietUser : public UserInterface {
public:
    void setStatus(const QString&) override {}
    Answer messageBox(const QString&, const QString&, Icon, Buttons) override { return Answer::Ok; }
    bool processEvents() override { return true; }
    QString askFile(const FileRequest&) override { return QString(); }
};

// This process's temporary folder (removed at exit).
const QString& folder();
// Writes the bytes to name in the folder and returns its path.
QString write_input(const QString& name, const uint8_t* data, size_t size);

}  // namespace fuzz
