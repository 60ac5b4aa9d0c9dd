// Where an update run is. The window publishes it as its dynamic property
// "updateStage" (the names below), which the demo's walk-through follows.
#ifndef VIREON_APP_RUN_STAGE_H
#define VIREON_APP_RUN_STAGE_H

namespace vireon::app {

enum class RunStage { Idle, Starting, FirstStage, Pause, Wait, SecondStage, Ending };

inline const char *stageName(RunStage stage)
{
    static const char *const names[] = {"idle", "starting", "first stage", "pause", "wait", "second stage", "ending"};
    return names[static_cast<int>(stage)];
}

} // namespace vireon::app

#endif
