// The watch of a surface across the restart its exit command begins, one
// look at a time: what each series of looks tells, and when.
#include "restart_watch.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace vireon::engine;
using namespace std::chrono_literals;
using Millis = std::chrono::milliseconds;
using Verdict = RestartWatch::Verdict;

const char *verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Waiting: return "Waiting";
    case Verdict::Back: return "Back";
    case Verdict::StayedOn: return "StayedOn";
    case Verdict::Gone: return "Gone";
    }
    return "?";
}

// One look: at `at` ms after the exit command, the surface with enumeration
// `enumeration` (0: not on the bus).
struct Look {
    long long at;
    uint64_t enumeration;
};

Surfaces bus(uint64_t enumeration, const std::string &path = "/dev/hidraw0")
{
    return enumeration == 0 ? Surfaces{} : Surfaces{{path, "", enumeration}};
}

TEST(RestartWatch, EachSeriesOfLooksTellsWhatTheSurfaceDid)
{
    const struct {
        const char *name;
        bool leavingIsEnough;
        std::vector<Look> looks;
        const char *told;
        long long away; // for Back
    } cases[] = {
        {"leaves and comes back", false, {{50, 5}, {100, 0}, {150, 0}, {400, 6}}, "Back", 300},
        {"the old node still listed as it goes is not a return", false, {{50, 5}, {100, 5}, {150, 0}}, "Waiting", 0},
        {"enumerated anew between two looks", false, {{50, 5}, {100, 9}}, "Back", 0},
        {"a look that missed it, same enumeration, is no restart", false, {{50, 0}, {100, 5}, {10000, 5}}, "StayedOn", 0},
        {"never leaves", false, {{50, 5}, {9999, 5}, {10000, 5}}, "StayedOn", 0},
        {"stays away past the return limit", false, {{50, 0}, {60049, 0}, {60051, 0}}, "Gone", 0},
        {"back just within the limit", false, {{50, 0}, {60049, 6}}, "Back", 59999},
        {"after the last image, leaving is enough", true, {{50, 5}, {100, 0}}, "Back", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Millis exit(1000);
        RestartWatch watch(SurfaceIdentity{{"/dev/hidraw0", "", 5}, true}, exit, 10s, 60s, c.leavingIsEnough);
        Verdict told = Verdict::Waiting;
        for (const Look &look : c.looks)
            told = watch.look(exit + Millis(look.at), bus(look.enumeration));
        EXPECT_STREQ(verdictName(told), c.told);
        if (told == Verdict::Back)
            EXPECT_EQ(watch.away().count(), c.away);
    }
}

TEST(RestartWatch, AnUnknownEnumerationIsBackOnlyAfterAnAbsence)
{
    RestartWatch watch(SurfaceIdentity{{"/dev/hidraw0", "", 0}, true}, 0ms, 10s, 60s);
    EXPECT_EQ(watch.look(50ms, bus(0)), Verdict::Waiting);
    watch = RestartWatch(SurfaceIdentity{{"/dev/hidraw0", "", 0}, true}, 0ms, 10s, 60s);
    Surfaces unknown{{"/dev/hidraw0", "", 0}};
    EXPECT_EQ(watch.look(50ms, unknown), Verdict::Waiting);
    EXPECT_EQ(watch.look(100ms, {}), Verdict::Waiting);
    EXPECT_EQ(watch.look(150ms, unknown), Verdict::Back);
}

TEST(RestartWatch, ASurfaceWithASerialIsFoundAtAnotherNode)
{
    RestartWatch watch(SurfaceIdentity{{"/dev/hidraw0", "VS-1", 5}, false}, 0ms, 10s, 60s);
    EXPECT_EQ(watch.look(50ms, {}), Verdict::Waiting);
    EXPECT_EQ(watch.look(100ms, {{"/dev/hidraw0", "VS-2", 9}}), Verdict::Waiting) << "another surface";
    EXPECT_EQ(watch.look(150ms, {{"/dev/hidraw3", "VS-1", 6}}), Verdict::Back);
    EXPECT_EQ(watch.surface().path, "/dev/hidraw3");
}

TEST(RestartWatch, DeadlinesPassWithoutALook)
{
    RestartWatch stays(SurfaceIdentity{{"/dev/hidraw0", "", 5}, true}, 0ms, 10s, 60s);
    stays.look(50ms, bus(5));
    EXPECT_EQ(stays.deadline(), 10s);
    EXPECT_EQ(stays.timePassed(9999ms), Verdict::Waiting);
    EXPECT_EQ(stays.timePassed(10s), Verdict::StayedOn);

    RestartWatch gone(SurfaceIdentity{{"/dev/hidraw0", "", 5}, true}, 0ms, 10s, 60s);
    gone.look(50ms, {});
    EXPECT_EQ(gone.timePassed(60050ms), Verdict::Waiting);
    EXPECT_EQ(gone.timePassed(60051ms), Verdict::Gone);
}

} // namespace
