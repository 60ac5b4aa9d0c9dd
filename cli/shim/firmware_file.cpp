// TEMPORARY stand-in until the shared core's firmware file check lands;
// deleted then.
#include "firmware_file.h"

#include "imagecheck.h"

#include <QFile>
#include <QTemporaryDir>

namespace vireon::core {

FirmwareFile readFirmwareFile(const QString &path)
{
    FirmwareFile file;
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly)) {
        file.image = 1;
        file.reason = source.errorString();
        return file;
    }
    bool first = false, second = false;
    int lineNumber = 0;
    while (!source.atEnd()) {
        QByteArray line = source.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        line += '\n';
        ++lineNumber;
        if (!line.startsWith(':')) {
            if (first)
                second = true;
            first = !second;
            FirmwareImage &image = file.images[second ? 1 : 0];
            if (image.firstLine == 0)
                image.firstLine = lineNumber;
        }
        if (first)
            file.images[0].text += line;
        if (second)
            file.images[1].text += line;
    }
    QTemporaryDir dir;
    for (int i = 0; i < 2; ++i) {
        const QString temp = dir.filePath(QStringLiteral("image.txt"));
        QFile out(temp);
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(file.images[i].text);
        out.close();
        const ImageCheck check = checkImageFile(temp);
        if (!check.ok) {
            file.image = i + 1;
            file.line = check.line > 0 && file.images[i].firstLine > 0 ? file.images[i].firstLine + check.line - 1 : 0;
            file.reason = check.problem;
            return file;
        }
    }
    file.ok = true;
    return file;
}

} // namespace vireon::core
