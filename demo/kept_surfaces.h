// vireon-flash-demo's simulated surfaces, kept between runs in a state
// folder: each is loaded from its file before anything can see it, comes on
// the bus once a restart begun in an earlier run is over (or later, when its
// scenario says so), and is saved back at the end.
#ifndef VIREON_CLI_KEPT_SURFACES_H
#define VIREON_CLI_KEPT_SURFACES_H

#include "hidsim.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vireon::demo {

class KeptSurfaces
{
public:
    explicit KeptSurfaces(std::string stateDir = {}); // empty: every run starts from erased surfaces
    ~KeptSurfaces();

    // Adds a surface, its flash as its state file kept it. It is attached at
    // once, or after `delay`, or when its restart is over, whichever is
    // latest, and gets `faults` then. A surface given no serial number
    // reports its own (sim::ownSerialNumber of the state folder). Returns
    // why its state file is refused.
    QString add(const sim::SurfaceOptions &options, std::vector<sim::Fault> faults = {},
                std::chrono::milliseconds delay = {});

    // Stops the attaches still waiting and saves every surface; returns the
    // reasons of those that could not be saved.
    QString save();

    KeptSurfaces(const KeptSurfaces &) = delete;
    KeptSurfaces &operator=(const KeptSurfaces &) = delete;

private:
    struct Kept;
    void plugIn(Kept &surface);
    void stop();

    std::string stateDir_;
    std::list<Kept> kept_;
    std::vector<std::thread> waiting_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

} // namespace vireon::demo

#endif
