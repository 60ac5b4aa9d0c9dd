#include "page_policy.h"

#include "timing.h"

namespace vireon::web {

engine::Policy pagePolicy()
{
    engine::Policy policy;
    policy.restartAllowance = core::restartAllowance();
    // A granted device opens as soon as the browser lists it: there is no
    // device node whose access the system is still setting.
    policy.openSettle = engine::Millis(0);
    engine::Wording &w = policy.wording;
    w.runAgain = w.commandAgain = "run the update again";
    w.plugIn = w.noSurface = "plug the surface in, choose it with CHOOSE SURFACE and run the update again";
    w.chooseOne = "reload the page and choose one surface";
    w.permission = "choose the surface again with CHOOSE SURFACE, then run the update again";
    w.imageChanged = "choose the file again";
    return policy;
}

} // namespace vireon::web
