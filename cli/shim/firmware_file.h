// TEMPORARY stand-in until the shared core's firmware file check lands;
// deleted then.
#ifndef VIREON_CLI_SHIM_FIRMWARE_FILE_H
#define VIREON_CLI_SHIM_FIRMWARE_FILE_H

#include <QByteArray>
#include <QString>

namespace vireon::core {

struct FirmwareImage {
    QByteArray text; // the image's lines, header first
    int firstLine = 0;
};

struct FirmwareFile {
    bool ok = false;
    FirmwareImage images[2];
    int image = 0; // the refused image (1 or 2)
    int line = 0;  // the file's line, 0 for the image as a whole
    QString reason;
};

FirmwareFile readFirmwareFile(const QString &path);

} // namespace vireon::core

#endif
