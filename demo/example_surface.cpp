#include "example_surface.h"

#include <QFileInfo>

namespace vireon::demo {

QString exampleFile()
{
    const QString local = QStringLiteral("examples/vireon-surface-demo.cyacd");
    if (QFileInfo::exists(local))
        return QFileInfo(local).absoluteFilePath();
    return QStringLiteral(VIREON_EXAMPLES_DIR "/vireon-surface-demo.cyacd");
}

} // namespace vireon::demo
