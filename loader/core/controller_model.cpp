#include "core/controller_model.h"

#include "format/crc16.h"
#include "format/memimage.h"

ModelInfo GetModelInfo(ControllerModel model)
{
    if (model == ControllerModel::Velm5Plus)
        return {EXTMEM_VALID_PLUS, EXTMEM_FLASH2_SIZE, EXTMEM_BASE_PLUS};
    return {EXTMEM_VALID_VELM5, EXTMEM_CAPACITY_VELM5, EXTMEM_BASE_VELM5};
}

uint16_t GetValidityWord(ControllerModel model) { return GetModelInfo(model).validityWord; }

uint32_t CheckValidityWord(UserInterface& ui, ControllerModel model, const uint8_t* image,
                           uint32_t length)
{
    const bool valid = length >= 2 && (image[0] | (image[1] << 8)) == GetValidityWord(model);
    if (valid)
        return length;
    ui.messageBox("Wrong BIN file format for selected controller type", "BIN File Format",
                  UserInterface::Icon::Error);
    return 0;
}

uint16_t CalcImageCrc(const uint8_t* image, uint32_t length) { return CRC16_Modbus(image, length); }

QString ImageCrcText(ControllerModel model, const uint8_t* image, uint32_t length)
{
    if (model != ControllerModel::Velm5Plus)
        return QStringLiteral("N/A");
    return QString::asprintf("0x%04X", CalcImageCrc(image, length));
}
