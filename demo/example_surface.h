// The demo's simulated surface: two chips that fit
// examples/vireon-surface-demo.cyacd (see examples/README.md).
#ifndef VIREON_DEMO_EXAMPLE_SURFACE_H
#define VIREON_DEMO_EXAMPLE_SURFACE_H

#include "cyacd_gen.h"

#include <QString>

#include <vector>

namespace vireon::demo {

// The example file's two images, as the generator defines them.
using vireon::tools::exampleImages;

// The example file: under examples/ of the current folder when it is
// there, else in the source tree the program was built from.
QString exampleFile();

} // namespace vireon::demo

#endif
