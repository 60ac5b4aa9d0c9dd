// The twice-a-second presence check against surfaces plugged into and out
// of the simulated bus, and the tooltips that say why UPDATE is not offered.
#include "app_fixture.h"

namespace apptest {
namespace {

class PresenceTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        // The checks run when the test says so; the timer's own ticks are
        // watched in one test only.
        probe().presenceTimer()->stop();
    }
    void chooseGoodFile() { choose(goodFile()); }
    void expectLook(const char *status, bool updateOn, const QPixmap &update, const QPixmap &browse)
    {
        const MainWindowProbe p = probe();
        EXPECT_EQ(p.statusString(), status);
        EXPECT_EQ(p.ui().statusLabel->pixmap(Qt::ReturnByValue).size(), QSize(187, 41)); // the word is drawn
        EXPECT_EQ(p.ui().updateLabel->isEnabled(), updateOn);
        EXPECT_EQ(p.updateEnabled(), updateOn);
        EXPECT_EQ(shown(p.ui().updateLabel), update.cacheKey());
        EXPECT_EQ(shown(p.ui().browseFileLabel), browse.cacheKey());
    }
};

TEST_F(PresenceTest, EachRowOfDeviceAndUpdateState)
{
    const MainWindowProbe p = probe();
    // Absent, idle.
    p.doHID();
    EXPECT_EQ(p.connectedFlag(), 0);
    expectLook("DISCONNECTED", false, p.updateWhiteDisabled(), p.browseUp());
    EXPECT_TRUE(p.ui().browseFileLabel->isEnabled());

    // Present, idle, no file: UPDATE keeps the state it had.
    auto surface = attachSurface();
    p.doHID();
    EXPECT_EQ(p.connectedFlag(), 1);
    expectLook("CONNECTED", false, p.updateWhiteDisabled(), p.browseUp());

    // Present, updating: the word is not redrawn, browsing is off.
    sim::Bus::instance().detach(surface);
    p.doHID();
    sim::Bus::instance().plugBackIn(surface);
    p.updating() = true;
    p.doHID();
    EXPECT_EQ(p.connectedFlag(), 1);
    expectLook("DISCONNECTED", false, p.updateGreenUp(), p.browseDisabled());
    EXPECT_FALSE(p.ui().browseFileLabel->isEnabled());

    // Absent, updating: the word stays CONNECTED; only the flag follows.
    sim::Bus::instance().detach(surface);
    p.doHID();
    EXPECT_EQ(p.connectedFlag(), 0);
    expectLook("CONNECTED", false, p.updateGreenUp(), p.browseDisabled());
}

TEST_F(PresenceTest, UpdateIsOfferedWithSurfaceAndFileAndKeepsItsPressedPicture)
{
    const MainWindowProbe p = probe();
    chooseGoodFile();
    p.doHID();
    expectLook("DISCONNECTED", false, p.updateWhiteDisabled(), p.browseUp());

    auto surface = attachSurface();
    p.doHID();
    expectLook("CONNECTED", true, p.updateGreenUp(), p.browseUp());

    QTest::mousePress(p.ui().updateLabel, Qt::LeftButton);
    EXPECT_TRUE(p.updatePressed());
    p.doHID();
    expectLook("CONNECTED", true, p.updateGreenDown(), p.browseUp());

    // Several surfaces count as one: unplugging one changes nothing.
    auto another = attachSurface();
    sim::Bus::instance().detach(surface);
    p.doHID();
    expectLook("CONNECTED", true, p.updateGreenDown(), p.browseUp());

    // Unplugged while idle: UPDATE goes, browsing stays.
    sim::Bus::instance().detach(another);
    p.doHID();
    expectLook("DISCONNECTED", false, p.updateWhiteDisabled(), p.browseUp());
    EXPECT_TRUE(p.ui().browseFileLabel->isEnabled());
}

TEST_F(PresenceTest, CountdownLogsEachTickDownToZero)
{
    const MainWindowProbe p = probe();
    p.waitCount() = 20;
    for (int tick = 0; tick < 22; ++tick)
        p.doHID();
    EXPECT_EQ(p.waitCount(), 0);
    QStringList expected;
    for (int left = 19; left >= 0; --left)
        expected << QStringLiteral(" Main Thread: Waiting %1").arg(left);
    EXPECT_EQ(logEntries().filter("Waiting"), expected);
}

TEST_F(PresenceTest, TimerTicksDrawTheFirstStatusWord)
{
    attachSurface();
    probe().presenceTimer()->start();
    // However slow the machine, the tick comes; the bound only keeps a
    // broken timer from hanging the test.
    QElapsedTimer waited;
    waited.start();
    while (probe().statusString().isNull() && waited.elapsed() < 60000)
        QTest::qWait(20);
    EXPECT_EQ(probe().statusString(), "CONNECTED");
    EXPECT_EQ(probe().connectedFlag(), 1);
}

TEST_F(PresenceTest, TooltipsSayWhatTheButtonsDoAndWhyUpdateIsNotOffered)
{
    const MainWindowProbe p = probe();
    auto updateTip = [&]() { return p.ui().updateLabel->toolTip(); };
    auto browseTip = [&]() { return p.ui().browseFileLabel->toolTip(); };
    EXPECT_TRUE(browseTip().startsWith("Choose the firmware file"));
    EXPECT_FALSE(browseTip().contains("Not available"));
    EXPECT_TRUE(updateTip().startsWith("Program the chosen firmware file"));
    EXPECT_TRUE(updateTip().contains("no surface connected, no file chosen")) << updateTip().toStdString();

    attachSurface();
    p.doHID();
    EXPECT_TRUE(updateTip().contains("Not offered now: no file chosen.")) << updateTip().toStdString();

    chooseGoodFile();
    p.doHID();
    EXPECT_TRUE(p.updateEnabled());
    EXPECT_FALSE(updateTip().contains("Not offered"));

    p.updating() = true;
    p.doHID();
    EXPECT_TRUE(updateTip().contains("Not offered now: an update is running."));
    EXPECT_TRUE(browseTip().contains("Not available while an update is running."));
}

} // namespace
} // namespace apptest
