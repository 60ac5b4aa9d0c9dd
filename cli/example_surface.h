// The simulated surface that fits examples/vireon-surface-demo.cyacd: two
// chips in a chain, one per image of the file (see examples/README.md).
// Shared by vireon-flash-demo and the benchmark.
#ifndef VIREON_CLI_EXAMPLE_SURFACE_H
#define VIREON_CLI_EXAMPLE_SURFACE_H

#include "cyacd_gen.h"
#include "hidsim.h"

#include <chrono>
#include <vector>

namespace vireon::flash {

// The two images of the example file, as the generator wrote them.
inline std::vector<tools::ImageSpec> exampleImages()
{
    tools::ImageSpec first;
    first.siliconId = 0x56530001;
    first.siliconRev = 0x01;
    first.rowCount = 32;
    first.rowSize = 256;
    first.seed = 7;
    tools::ImageSpec second = first;
    second.siliconId = 0x56530002;
    second.seed = 8;
    return {first, second};
}

inline sim::SurfaceOptions exampleSurface(std::chrono::microseconds perReport, std::chrono::milliseconds offBus)
{
    sim::SurfaceOptions options;
    options.targets = tools::targetsFor(exampleImages());
    options.latencyPerReport = perReport;
    options.offBusAfterExit = offBus;
    return options;
}

} // namespace vireon::flash

#endif
