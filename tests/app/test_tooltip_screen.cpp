// The tooltips as a user meets them: on a real X server (a private Xvfb),
// the pointer moved over the picture, the tooltip Qt shows grabbed from the
// screen, and the contrast of its text measured from those pixels.
#include "app_fixture.h"
#include "xvfb_server.h"

#include <QScreen>
#include <QToolTip>

#include <cstdio>
#include <cstdlib>
#include <map>

namespace apptest {
namespace {

// WCAG's contrast ratio of two colours, 1 to 21.
double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QWidget *shownToolTip()
{
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top->objectName() == "qtooltip_label" && top->isVisible())
            return top;
    return nullptr;
}

// The ground is the commonest colour inside the box's border; the text is
// the pixel farthest from it.
double textContrast(const QImage &box, int inset)
{
    std::map<QRgb, int> counts;
    for (int y = inset; y < box.height() - inset; ++y)
        for (int x = inset; x < box.width() - inset; ++x)
            ++counts[box.pixel(x, y) | 0xff000000u];
    if (counts.empty())
        return 0;
    const QRgb ground = std::max_element(counts.begin(), counts.end(), [](auto &a, auto &b) { return a.second < b.second; })->first;
    double best = 1;
    for (const auto &entry : counts)
        best = std::max(best, contrast(ground, entry.first));
    return best;
}

class ToolTipOnScreen : public WindowTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(ToolTipOnScreen, TextIsReadableOnItsBox)
{
    MainWindow &w = window();
    w.move(0, 0);
    w.show();
    // Qt shows tooltips in the active window only, as a user has it.
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    auto *label = w.findChild<QLabel *>(GetParam());
    ASSERT_NE(label, nullptr);
    if (label == probe().ui().updateLabel)
        ASSERT_FALSE(label->isEnabled()) << "the tooltip says why UPDATE is greyed";
    QTest::mouseMove(label, label->rect().center());
    QWidget *tip = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&]() { return (tip = shownToolTip()) != nullptr; }, 10000));
    EXPECT_EQ(static_cast<QLabel *>(tip)->text(), label->toolTip());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(tip));
    QTest::qWait(300); // past any fade-in
    const QRect box = tip->geometry();
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0, box.x(), box.y(), box.width(), box.height()).toImage();
    ASSERT_EQ(shot.size(), box.size());
    if (const char *keep = std::getenv("VIREON_KEEP_TOOLTIP"))
        shot.save(QString::fromLocal8Bit(keep) + '-' + GetParam() + ".png");
    const double ratio = textContrast(shot, 3);
    std::printf("%s tooltip: text contrast %.2f:1 on screen\n", GetParam(), ratio);
    EXPECT_GE(ratio, 4.5);
    QToolTip::hideText();
}

INSTANTIATE_TEST_SUITE_P(ImageButtons, ToolTipOnScreen, ::testing::Values("updateLabel", "browseFileLabel"));

} // namespace
} // namespace apptest
