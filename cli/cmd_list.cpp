// list: each attached surface with its path, serial number, and whether
// this user may open it.
#include "commands.h"

#include "surfaces.h"

#include <hidapi/hidapi.h>

namespace vireon::flash {

int listCommand(const Options &options, Reporter &reporter)
{
    const std::vector<SurfaceInfo> surfaces = attachedSurfaces(Selector{options.device, options.serial});
    for (const SurfaceInfo &surface : surfaces) {
        const core::SurfaceOpen open = openSurface(surface);
        if (open.device != nullptr)
            hid_close(open.device);
        const QString access = open.device != nullptr ? QStringLiteral("can open")
                               : open.failure.kind == core::Failure::Kind::Denied ? QStringLiteral("permission denied")
                                                       : QStringLiteral("cannot open: ") + open.failure.reason;
        const QString serial = surface.serial.isEmpty() ? QStringLiteral("-") : surface.serial;
        QJsonObject json{{QStringLiteral("path"), surface.path},
                         {QStringLiteral("serial"), surface.serial},
                         {QStringLiteral("can_open"), open.device != nullptr}};
        if (open.device == nullptr)
            json.insert(QStringLiteral("error"), open.failure.reason);
        reporter.entry(step::List, QStringLiteral("%1\tserial %2\t%3").arg(surface.path, serial, access), json);
    }
    Outcome outcome;
    if (surfaces.empty()) {
        outcome = {Exit::NoSurface,
                   QStringLiteral("No Vireon Surface is attached%1.")
                       .arg(options.device.isEmpty() && options.serial.isEmpty()
                                ? QString()
                                : QStringLiteral(" with that %1").arg(options.device.isEmpty()
                                                                          ? QStringLiteral("serial number")
                                                                          : QStringLiteral("path"))),
                   QStringLiteral("plug the surface in; if it is plugged in, 'vireon-flash doctor' checks the set-up.")};
    } else {
        outcome.message = QStringLiteral("%1 surface(s) attached.").arg(surfaces.size());
    }
    reporter.finish(step::List, outcome);
    return static_cast<int>(outcome.code);
}

} // namespace vireon::flash
