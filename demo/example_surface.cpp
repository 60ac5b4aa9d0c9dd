#include "example_surface.h"

#include <QFileInfo>

namespace vireon::demo {

std::vector<vireon::tools::ImageSpec> exampleImages()
{
    vireon::tools::ImageSpec first;
    first.siliconId = 0x56530001;
    first.siliconRev = 0x01;
    first.checksumKind = 0;
    first.rowCount = 32;
    first.rowSize = 256;
    first.seed = 7;
    vireon::tools::ImageSpec second = first;
    second.siliconId = 0x56530002;
    second.seed = 8;
    return {first, second};
}

QString exampleFile()
{
    const QString local = QStringLiteral("examples/vireon-surface-demo.cyacd");
    if (QFileInfo::exists(local))
        return QFileInfo(local).absoluteFilePath();
    return QStringLiteral(VIREON_EXAMPLES_DIR "/vireon-surface-demo.cyacd");
}

} // namespace vireon::demo
