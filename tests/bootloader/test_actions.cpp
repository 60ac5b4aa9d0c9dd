// Bootload actions against the device model.
#include <gtest/gtest.h>
