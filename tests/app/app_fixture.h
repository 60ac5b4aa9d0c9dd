// Shared by the window tests: a look inside MainWindow, a fresh working
// folder and a clean simulated bus per test, and a script that answers the
// window's modal dialogs and boxes as a user would.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cmath>

#include "cyacd_gen.h"
#include "timing.h"
#include "hidsim.h"
#include "mainwindow.h"
#include "modal_answerer.h"
#include "ui_mainwindow.h"
#include "update_sequence.h"
#include "window_probe.h"
#include "worker2.h"

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace apptest {

using namespace std::chrono_literals;
namespace sim = vireon::sim;

inline qint64 shown(const QLabel *label) { return label->pixmap(Qt::ReturnByValue).cacheKey(); }

// A colour's relative luminance, as WCAG's contrast ratio takes it.
inline double luminance(QRgb rgb)
{
    auto channel = [](int v) { const double c = v / 255.0; return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(qRed(rgb)) + 0.7152 * channel(qGreen(rgb)) + 0.0722 * channel(qBlue(rgb));
}

// The time a surface is given to leave the bus after an exit command,
// shortened while it lives: a surface that stays on costs the test that.
struct ShortRestartAllowance {
    explicit ShortRestartAllowance(std::chrono::milliseconds allowance) { vireon::core::setRestartAllowance(allowance); }
    ~ShortRestartAllowance() { vireon::core::setRestartAllowance(vireon::core::kRestartAllowance); }
};

// What a test saw of a modal widget: its title and, for a box, its text and
// informative text; when it was seen (a dialog: as it was answered), in ms
// of the monotonic clock.
struct Seen { QString title, text, info; qint64 at = 0; };

// A fresh working folder (the log and the temporary files go there), a
// clean bus and, on demand, the window.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid() && QDir::setCurrent(dir_.path()));
        sim::Bus::instance().reset();
    }
    void TearDown() override
    {
        window_.reset();
        QDir::setCurrent(previous_);
    }
    MainWindow &window()
    {
        if (!window_)
            window_ = std::make_unique<MainWindow>();
        return *window_;
    }
    MainWindowProbe probe() { return MainWindowProbe{window()}; }
    void closeWindow() { window_.reset(); }
    // A file in the working folder, named as the window names it.
    static QString path(const QString &name) { return QDir::currentPath() + '/' + name; }

    static QString read(const QString &name)
    {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    static QString write(const QString &name, const QString &text)
    {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) == text.toUtf8().size()) << name.toStdString();
        return path(name);
    }
    // The log's lines without their time stamps.
    static QStringList logEntries()
    {
        static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d[ap]m "));
        QStringList entries;
        for (const QString &line : read("log.txt").split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            entries << (stamp.match(line).hasMatch() ? line.mid(10) : line);
        return entries;
    }

    // Runs `action`, which opens modals, and answers each as it opens: a file
    // dialog takes the next of `files` (an empty or missing name cancels
    // it), a box is given to `answerBox` and, unless that answered it,
    // closed with OK or its default button.
    std::vector<Seen> withModals(QStringList files, const std::function<void()> &action)
    {
        std::vector<Seen> seen;
        const vireon::demo::ModalAnswerer answerer([&files]() { return files.isEmpty() ? QString() : files.takeFirst(); },
                                                   [&seen, this](QWidget *modal) {
                                                       auto *box = qobject_cast<QMessageBox *>(modal);
                                                       const qint64 now = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
                                                       if (box == nullptr) {
                                                           seen.push_back({modal->windowTitle(), {}, {}, now});
                                                           return;
                                                       }
                                                       seen.push_back({box->windowTitle(), box->text(), box->informativeText(), now});
                                                       if (answerBox)
                                                           answerBox(box);
                                                   });
        action();
        EXPECT_TRUE(files.isEmpty()) << "a scripted file dialog never opened";
        return seen;
    }
    // Presses and releases the browse dot and answers the dialog with
    // `file` (an empty name cancels it).
    std::vector<Seen> choose(const QString &file)
    {
        return withModals({file}, [this]() { QTest::mouseClick(probe().ui().browseFileLabel, Qt::LeftButton); });
    }

    static std::shared_ptr<sim::Surface> attachSurface()
    {
        sim::SurfaceOptions options;
        options.targets = vireon::tools::targetsFor(images());
        return sim::Bus::instance().attach(options);
    }
    static std::vector<vireon::tools::ImageSpec> images() { return vireon::tools::twoChipImages(4, 64); }
    static QString image(int i) { return QString::fromStdString(vireon::tools::imageText(images()[size_t(i)])); }
    // A well-formed two-image file.
    static QString goodFile(const QString &name = QStringLiteral("surface.cyacd")) { return write(name, image(0) + image(1)); }

    std::function<void(QMessageBox *)> answerBox;

private:
    QTemporaryDir dir_;
    const QString previous_ = QDir::currentPath();
    std::unique_ptr<MainWindow> window_;
};

} // namespace apptest
