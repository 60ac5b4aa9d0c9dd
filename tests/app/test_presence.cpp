// The twice-a-second presence check against surfaces plugged into and out
// of the simulated bus, and the tooltips that say why UPDATE is not offered.
#include "app_fixture.h"

namespace apptest {
namespace {

class PresenceTest : public WindowTest {
protected:
    // Runs a presence check and looks at the result: the status word, both
    // buttons' pictures and states, and the tooltips, which say what each
    // button does and why it is not available: `whyNot` for UPDATE, empty
    // when UPDATE is offered. The presence timer's ticks, which come only
    // while the event loop runs, would find the same.
    void check(int connected, const char *status, const QPixmap &update, const QPixmap &browse, const QString &whyNot)
    {
        const MainWindowProbe p = probe();
        p.doHID();
        EXPECT_EQ(p.connectedFlag(), connected);
        EXPECT_EQ(p.statusString(), status);
        EXPECT_EQ(p.ui().statusLabel->pixmap(Qt::ReturnByValue).size(), QSize(187, 41)); // the word is drawn
        EXPECT_EQ(p.ui().updateLabel->isEnabled(), whyNot.isEmpty());
        EXPECT_EQ(p.updateEnabled(), whyNot.isEmpty());
        EXPECT_EQ(shown(p.ui().updateLabel), update.cacheKey());
        EXPECT_EQ(shown(p.ui().browseFileLabel), browse.cacheKey());
        const bool browsing = browse.cacheKey() != p.browseDisabled().cacheKey();
        EXPECT_EQ(p.ui().browseFileLabel->isEnabled(), browsing);
        EXPECT_EQ(p.ui().browseFileLabel->toolTip(), "Choose the firmware file (.cyacd) to program into the surface." +
                                                          QString(browsing ? "" : "\nNot available while an update is running."));
        EXPECT_EQ(p.ui().updateLabel->toolTip(), "Program the chosen firmware file into the surface." +
                                                     (whyNot.isEmpty() ? QString() : "\nNot offered now: " + whyNot + "."));
    }
};

TEST_F(PresenceTest, EachRowOfDeviceAndUpdateState)
{
    const MainWindowProbe p = probe();
    check(0, "DISCONNECTED", p.updateWhiteDisabled(), p.browseUp(), "no surface connected, no file chosen");

    // Present, idle, no file: UPDATE keeps the state it had.
    auto surface = attachSurface();
    check(1, "CONNECTED", p.updateWhiteDisabled(), p.browseUp(), "no file chosen");

    // Present, updating: the word is not redrawn, browsing is off.
    sim::Bus::instance().detach(surface);
    p.doHID();
    sim::Bus::instance().plugBackIn(surface);
    p.setRunning(true);
    check(1, "DISCONNECTED", p.updateGreenUp(), p.browseDisabled(), "an update is running");

    // Absent, updating: the word stays CONNECTED; only the flag follows.
    sim::Bus::instance().detach(surface);
    check(0, "CONNECTED", p.updateGreenUp(), p.browseDisabled(), "an update is running");
}

TEST_F(PresenceTest, UpdateIsOfferedWithSurfaceAndFileAndKeepsItsPressedPicture)
{
    const MainWindowProbe p = probe();
    choose(goodFile());
    check(0, "DISCONNECTED", p.updateWhiteDisabled(), p.browseUp(), "no surface connected");

    auto surface = attachSurface();
    check(1, "CONNECTED", p.updateGreenUp(), p.browseUp(), {});
    QTest::mousePress(p.ui().updateLabel, Qt::LeftButton);
    EXPECT_TRUE(p.updatePressed());
    check(1, "CONNECTED", p.updateGreenDown(), p.browseUp(), {});

    // Several surfaces count as one: unplugging one changes nothing.
    auto another = attachSurface();
    sim::Bus::instance().detach(surface);
    check(1, "CONNECTED", p.updateGreenDown(), p.browseUp(), {});

    // Unplugged while idle: UPDATE goes, browsing stays.
    sim::Bus::instance().detach(another);
    check(0, "DISCONNECTED", p.updateWhiteDisabled(), p.browseUp(), "no surface connected");
}

} // namespace
} // namespace apptest
