// Where the window's update run is: its phases, two of which are the
// workers' stages. The window publishes it as its dynamic property
// "updateStage" (the names below), which the demo's walk-through follows.
#ifndef VIREON_APP_UPDATE_PHASE_H
#define VIREON_APP_UPDATE_PHASE_H

namespace vireon::app {

enum class UpdatePhase { Idle, Starting, FirstStage, Pause, Wait, SecondStage, Ending };

inline const char *phaseName(UpdatePhase phase)
{
    static const char *const names[] = {"idle", "starting", "first stage", "pause", "wait", "second stage", "ending"};
    return names[static_cast<int>(phase)];
}

} // namespace vireon::app

#endif
