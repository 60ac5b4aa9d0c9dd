// The page's policy for the update engine: no pause after image 1 (it
// watches the bus, as vireon-flash does, through WebHID's connect and
// disconnect events), no tries beyond the first, and its own wording of
// what the user does.
#ifndef VIREON_WEB_PAGE_POLICY_H
#define VIREON_WEB_PAGE_POLICY_H

#include "update_engine.h"

namespace vireon::web {

engine::Policy pagePolicy();

} // namespace vireon::web

#endif
