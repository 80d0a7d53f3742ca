// The two controller models an image can be built for, and the checks and
// check value that depend on the model.
#pragma once

#include "core/ui.h"

#include <QString>

#include <cstdint>

enum class ControllerModel { Velm5, Velm5Plus };

struct ModelInfo {
    uint16_t validityWord;  // at offset 0 of the image
    uint32_t capacity;      // largest image the builder makes
    uint32_t base;          // added to every stored address
};

// VELM5 Plus images are limited to Flash2, the largest image its firmware
// programs or loads from an SD card; the model's image area is a little larger.
ModelInfo GetModelInfo(ControllerModel model);

// 0xFEEC for VELM5 Plus, 0xFEEB for VELM5.
uint16_t GetValidityWord(ControllerModel model);

// length when the image's first 16-bit word is the model's validity word;
// otherwise 0 after the "BIN File Format" box.
uint32_t CheckValidityWord(UserInterface& ui, ControllerModel model, const uint8_t* image,
                           uint32_t length);

// CRC-16/MODBUS of the image, as the controller's "*CEXT" answers it.
uint16_t CalcImageCrc(const uint8_t* image, uint32_t length);

// What the CRC field shows: "0x%04X" for VELM5 Plus, "N/A" for VELM5.
QString ImageCrcText(ControllerModel model, const uint8_t* image, uint32_t length);
