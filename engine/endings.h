// The outcomes an update can end with, each with its message, its fix, its
// exit code and the log's result line. The engine picks one; nothing else
// words an end.
#ifndef VIREON_ENGINE_ENDINGS_H
#define VIREON_ENGINE_ENDINGS_H

#include "outcome.h"
#include "surface.h"
#include "update_engine.h"

namespace vireon::engine::endings {

Outcome fileRefused(const RunRequest &request);
Outcome noSurface(const Selector &selector, Millis waited, const Surfaces &attached, const Wording &wording);
Outcome severalSurfaces(const Surfaces &attached, const Wording &wording);
Outcome busy(const LockAnswer &answer, const Wording &wording);
// Image `image` could not be opened on `surface`.
Outcome notOpened(int image, const StageReport &report, const Surface &surface, const Policy &policy);
// Image `image` failed as `account` tells; `rowsWritten` of it reached the
// surface.
Outcome stageFailed(int image, const CauseAccount &account, int rowsWritten, const Policy &policy);
// The image `image` was found changed before or after its stage.
Outcome imageChanged(int image, const std::string &problem, int rowsWritten, const Policy &policy);
// Image 1 is in, but the surface did not restart into its second chip:
// its exit command was lost (`stayedOn` 0), or it stayed on the bus that long.
Outcome notRestarted(Millis stayedOn, const Policy &policy);
// The surface left the bus after image `image`'s exit command and did not
// come back within the return limit; image 1 is in when `image` is 1.
Outcome notBack(int image, const Policy &policy);
// Where a run was stopped, by an interrupt or by closing the updater.
enum class StoppedAt { BeforeImage1, InImage, BetweenImages };
Outcome stopped(StoppedAt where, int image, int rowsWritten, bool closing, const Policy &policy);
// Both images in (or compared). `restartNote`: the surface did not restart
// into its firmware by itself.
Outcome succeeded(const std::string &fileName, bool restartNote, const bool applicationChecked[2],
                  const Policy &policy);

} // namespace vireon::engine::endings

#endif
