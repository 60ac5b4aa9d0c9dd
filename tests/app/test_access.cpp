// The window without a mouse: the keyboard and assistive technology reach the
// two image buttons through the same slots as the mouse, and every control
// tells a screen reader its role, name, state and description.
#include "app_fixture.h"

#include <QAccessible>

namespace apptest {
namespace {

const QColor kFocusMark(255, 200, 40);

class AccessTest : public WindowTest {
protected:
    // The window shown and active, as a user at the keyboard has it.
    MainWindow &activeWindow()
    {
        MainWindow &w = window();
        w.show();
        QApplication::setActiveWindow(&w);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
        return w;
    }
    // A surface on the bus and a good file chosen: UPDATE is offered.
    void offerUpdate()
    {
        surface_ = attachSurface();
        probe().presenceTimer()->setInterval(50);
        choose(goodFile());
        probe().doHID();
        ASSERT_TRUE(probe().updateEnabled());
    }
    // A key typed on the window, delivered as the platform delivers it: to
    // the widget with the focus.
    void type(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(window().windowHandle(), key, modifiers);
    }
    static QAccessibleInterface *accessible(QWidget *widget) { return QAccessible::queryAccessibleInterface(widget); }
    static void pressAction(QWidget *widget)
    {
        QAccessibleActionInterface *actions = accessible(widget)->actionInterface();
        ASSERT_NE(actions, nullptr);
        ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
        actions->doAction(QAccessibleActionInterface::pressAction());
    }
    // How many pixels of the focus mark's colour the window shows on `widget`.
    int focusMarkPixels(QWidget *widget)
    {
        const QImage shot = window().grab().toImage();
        const QRect area = widget->geometry().translated(widget->parentWidget()->mapTo(&window(), QPoint()));
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) {
                const QColor c = shot.pixelColor(x, y);
                count += std::abs(c.red() - kFocusMark.red()) + std::abs(c.green() - kFocusMark.green()) +
                                     std::abs(c.blue() - kFocusMark.blue()) < 60 ? 1 : 0;
            }
        return count;
    }

    std::shared_ptr<sim::Surface> surface_;
};

TEST_F(AccessTest, TabMovesBetweenBrowseAndUpdateInThatOrder)
{
    offerUpdate();
    MainWindow &w = activeWindow();
    Ui::MainWindow &ui = probe().ui();
    EXPECT_EQ(w.focusWidget(), ui.browseFileLabel);
    type(Qt::Key_Tab);
    EXPECT_EQ(w.focusWidget(), ui.updateLabel);
    type(Qt::Key_Tab);
    EXPECT_EQ(w.focusWidget(), ui.browseFileLabel);
    type(Qt::Key_Backtab);
    EXPECT_EQ(w.focusWidget(), ui.updateLabel);
}

TEST_F(AccessTest, UpdateNotOfferedTakesNoFocus)
{
    MainWindow &w = activeWindow();
    type(Qt::Key_Tab);
    EXPECT_EQ(w.focusWidget(), probe().ui().browseFileLabel);
}

TEST_F(AccessTest, TheFocusedButtonAloneWearsTheFocusMark)
{
    offerUpdate();
    activeWindow();
    Ui::MainWindow &ui = probe().ui();
    EXPECT_GT(focusMarkPixels(ui.browseFileLabel), 100);
    EXPECT_EQ(focusMarkPixels(ui.updateLabel), 0);
    type(Qt::Key_Tab);
    EXPECT_EQ(focusMarkPixels(ui.browseFileLabel), 0);
    EXPECT_GT(focusMarkPixels(ui.updateLabel), 300);
}

TEST_F(AccessTest, SpaceReturnEnterAndCtrlOOpenTheFileDialog)
{
    activeWindow();
    const MainWindowProbe p = probe();
    const std::pair<const char *, std::function<void()>> ways[] = {
        {"Ctrl+O", [&] { type(Qt::Key_O, Qt::ControlModifier); }},
        {"Space", [&] {
             QTest::keyPress(window().windowHandle(), Qt::Key_Space);
             EXPECT_EQ(shown(p.ui().browseFileLabel), p.browseDown().cacheKey()); // held down, as under the mouse
             QTest::keyRelease(window().windowHandle(), Qt::Key_Space);
         }},
        {"Return", [&] { type(Qt::Key_Return); }},
        {"Enter", [&] { type(Qt::Key_Enter); }},
        {"press action", [&] { pressAction(p.ui().browseFileLabel); QTest::qWait(50); }},
    };
    for (const auto &[name, way] : ways) {
        SCOPED_TRACE(name);
        const std::vector<Seen> seen = withModals({""}, way);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front().title, "Open File");
        EXPECT_EQ(shown(p.ui().browseFileLabel), p.browseUp().cacheKey());
    }
}

TEST_F(AccessTest, ButtonsNotOfferedIgnoreKeysShortcutAndPressAction)
{
    activeWindow();
    Ui::MainWindow &ui = probe().ui();
    const std::vector<Seen> seen = withModals({}, [&] {
        pressAction(ui.updateLabel); // no surface, no file
        ui.browseFileLabel->setEnabled(false); // as during an update
        type(Qt::Key_O, Qt::ControlModifier);
        type(Qt::Key_Space);
        pressAction(ui.browseFileLabel);
        QTest::qWait(100);
    });
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(logEntries().contains(" Main Thread: Beginning update process..."));
}

TEST_F(AccessTest, EscapeClosesABox)
{
    activeWindow();
    bool closed = false;
    answerBox = [&closed](QMessageBox *box) {
        QTest::keyClick(box, Qt::Key_Escape);
        closed = !box->isVisible();
    };
    const std::vector<Seen> seen = choose(write("notes.cyacd", "not firmware\n"));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[1].text.contains("cannot be used to update the surface")) << seen[1].text.toStdString();
    EXPECT_TRUE(closed);
}

// What a screen reader finds on the idle window with no surface and no file.
TEST_F(AccessTest, EveryControlTellsAScreenReaderItsRoleNameAndDescription)
{
    MainWindow &w = activeWindow();
    probe().doHID();
    Ui::MainWindow &ui = probe().ui();
    struct Expected {
        QWidget *widget;
        QAccessible::Role role;
        QString name;
        QString description; // contained in the description
    };
    const Expected controls[] = {
        {ui.browseFileLabel, QAccessible::Button, "Choose file", "Choose the firmware file (.cyacd)"},
        {ui.updateLabel, QAccessible::Button, "UPDATE", "Not offered now: no surface connected, no file chosen."},
        {ui.statusLabel, QAccessible::StaticText, "Device status: DISCONNECTED", "Whether a surface is on the bus."},
        {ui.fileNameLabel, QAccessible::StaticText, "File: none chosen", "No file chosen"},
        {ui.progressBar, QAccessible::ProgressBar, "Progress", "How far the update has come."},
    };
    for (const Expected &c : controls) {
        SCOPED_TRACE(c.widget->objectName().toStdString());
        QAccessibleInterface *a = accessible(c.widget);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->role(), c.role);
        EXPECT_EQ(a->text(QAccessible::Name), c.name);
        EXPECT_TRUE(a->text(QAccessible::Description).contains(c.description)) << a->text(QAccessible::Description).toStdString();
    }
    EXPECT_TRUE(accessible(ui.updateLabel)->state().disabled);
    EXPECT_FALSE(accessible(ui.updateLabel)->state().focusable);
    EXPECT_TRUE(accessible(ui.browseFileLabel)->state().focused);
    // The bar tells its value and offers none to set: no Increase or
    // Decrease on the accessibility bus.
    EXPECT_EQ(accessible(ui.progressBar)->text(QAccessible::Value), "0 %");
    EXPECT_EQ(accessible(ui.progressBar)->valueInterface(), nullptr);
    EXPECT_EQ(accessible(ui.progressBar)->actionInterface()->actionNames(), QStringList());
    // Nothing on the window is nameless: headings, version and any line
    // added beside them.
    for (QWidget *child : ui.centralWidget->findChildren<QWidget *>()) {
        SCOPED_TRACE(child->objectName().toStdString());
        EXPECT_FALSE(accessible(child)->text(QAccessible::Name).isEmpty());
    }
    EXPECT_EQ(accessible(&w)->text(QAccessible::Name), "vireon.control");
}

// A screen reader walks the window in its order: row by row from the top,
// each heading before what it names, the title and the footer's banner,
// which the window's picture carries, among them.
TEST_F(AccessTest, AScreenReaderWalksTheWindowInItsOrder)
{
    activeWindow();
    probe().doHID();
    QAccessibleInterface *window = accessible(probe().ui().centralWidget);
    QStringList names;
    for (int i = 0; i < window->childCount(); ++i) {
        EXPECT_EQ(window->indexOfChild(window->child(i)), i);
        names << window->child(i)->text(QAccessible::Name);
    }
    EXPECT_EQ(names, (QStringList{"VIREON SURFACE FIRMWARE UPDATER", "DEVICE STATUS", "FILE", "Device status: DISCONNECTED",
                                  "File: none chosen", "Choose file", "UPDATE", "PROGRESS", "Progress",
                                  "Connect the surface, then choose the firmware file.",
                                  "KEEP THE SURFACE CONNECTED WHILE IT UPDATES",
                                  probe().ui().versionLabel->text()}));
    EXPECT_EQ(window->child(0)->role(), QAccessible::Heading);
}

TEST_F(AccessTest, AScreenReaderHearsTheOfferedUpdateTheChosenFileAndTheSurface)
{
    offerUpdate();
    Ui::MainWindow &ui = probe().ui();
    QAccessibleInterface *update = accessible(ui.updateLabel);
    EXPECT_FALSE(update->state().disabled);
    EXPECT_TRUE(update->state().focusable);
    EXPECT_FALSE(update->text(QAccessible::Description).contains("Not offered")) << update->text(QAccessible::Description).toStdString();
    EXPECT_EQ(accessible(ui.fileNameLabel)->text(QAccessible::Name), "File: surface.cyacd");
    EXPECT_EQ(accessible(ui.statusLabel)->text(QAccessible::Name), "Device status: CONNECTED");
}

// Space and Return on the focused UPDATE and its press action run the whole
// update the mouse runs: the same boxes from the first to the last.
TEST_F(AccessTest, KeyboardAndPressActionRunTheWholeUpdate)
{
    const std::pair<const char *, std::function<void()>> ways[] = {
        {"Space", [this] { type(Qt::Key_Tab); type(Qt::Key_Space); }},
        {"Return", [this] { type(Qt::Key_Tab); type(Qt::Key_Return); }},
        {"press action", [this] {
             pressAction(probe().ui().updateLabel);
             EXPECT_TRUE(QTest::qWaitFor([] { return logEntries().contains(" Main Thread: Beginning update process..."); }, 60000));
         }},
    };
    for (const auto &way : ways) {
        SCOPED_TRACE(way.first);
        closeWindow();
        QFile::remove("log.txt");
        sim::Bus::instance().reset();
        offerUpdate();
        activeWindow();
        QStringList texts;
        for (const Seen &seen : withModals({}, way.second))
            texts << seen.text;
        ASSERT_GE(texts.size(), 2);
        EXPECT_TRUE(texts.front().startsWith("Do not manually disconnect Vireon Surface")) << texts.front().toStdString();
        EXPECT_EQ(texts.back(), "Firmware update complete.");
        EXPECT_TRUE(probe().idle());
    }
}

} // namespace
} // namespace apptest
