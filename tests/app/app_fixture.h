// Shared by the window tests: a look inside MainWindow, a fresh working
// folder and a clean simulated bus per test, and a script that answers the
// window's modal dialogs and boxes as a user would.
#ifndef VIREON_TESTS_APP_FIXTURE_H
#define VIREON_TESTS_APP_FIXTURE_H

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

#include "cyacd_gen.h"
#include "hidsim.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"
#include "worker2.h"

struct MainWindowProbe {
    MainWindow &w;
    Ui::MainWindow &ui() const { return *w.ui; }
    const char *selectedFilePath() const { return w.selectedFilePath.get(); }
    bool &updating() const { return w.updating; }
    int &waitCount() const { return w.waitCount; }
    int connectedFlag() const { return w.connectedFlag; }
    bool updateEnabled() const { return w.updateEnabled; }
    bool updatePressed() const { return w.updatePressed; }
    const QString &statusString() const { return w.statusString; }
    const QPixmap &browseUp() const { return w.browseUp; }
    const QPixmap &browseDown() const { return w.browseDown; }
    const QPixmap &browseDisabled() const { return w.browseDisabled; }
    const QPixmap &updateWhiteDisabled() const { return w.updateWhiteDisabled; }
    const QPixmap &updateGreenUp() const { return w.updateGreenUp; }
    const QPixmap &updateGreenDown() const { return w.updateGreenDown; }
    void doHID() const { w.doHID(); }
    void writeToLog(const QString &text) const { w.writeToLog(text); }
    QTimer *presenceTimer() const { return w.findChild<QTimer *>(QString(), Qt::FindDirectChildrenOnly); }
    const QPixmap &updateRedUp() const { return w.updateRedUp; }
    int &progressCount() const { return w.progressCount; }
    int secondFileAttempts() const { return w.secondFileAttempts; }
    std::chrono::milliseconds &deviceReturnLimit() const { return w.deviceReturnLimit; }
    QThread *thread(int n) const { return n == 1 ? w.thread : w.thread2; }
    // A second-stage worker that gives up on opens sooner, wired as the
    // window wires its own.
    void useWorker2(std::chrono::milliseconds openLimit) const
    {
        delete w.worker2;
        w.worker2 = new Worker2(nullptr, openLimit);
        w.worker2->moveToThread(w.thread2);
        QObject::connect(w.worker2, SIGNAL(workRequested()), w.thread2, SLOT(start()));
        QObject::connect(w.thread2, SIGNAL(started()), w.worker2, SLOT(doWork()));
        QObject::connect(w.worker2, SIGNAL(finished()), w.thread2, SLOT(quit()), Qt::DirectConnection);
        QObject::connect(w.worker2, &Worker2::finished, &w, [] {}, Qt::QueuedConnection);
    }
};

inline void PrintTo(const QString &text, std::ostream *out) { *out << '"' << text.toStdString() << '"'; }

namespace apptest {

using namespace std::chrono_literals;
namespace sim = vireon::sim;

inline qint64 shown(const QLabel *label) { return label->pixmap(Qt::ReturnByValue).cacheKey(); }

// Answers modal widgets in turn: each step gets the next one that opens.
// A modal that no step is left for is recorded and closed, and none stays
// open longer than a minute, so a test never hangs on a box.
class ModalScript : public QObject {
public:
    struct Seen {
        QString kind, title, text; // kind: "dialog" or "box"
    };
    using Step = std::function<void(QWidget *)>;

    explicit ModalScript(std::deque<Step> steps) : steps_(std::move(steps))
    {
        connect(&poll_, &QTimer::timeout, this, [this]() { check(); });
        poll_.start(10);
    }
    std::vector<Seen> seen;
    bool done() const { return steps_.empty(); }

    static Step choose(const QString &path)
    {
        return [path](QWidget *w) {
            w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(path);
            QMetaObject::invokeMethod(w, "accept");
        };
    }
    static Step cancel() { return [](QWidget *w) { QMetaObject::invokeMethod(w, "reject"); }; }
    static Step ok() { return close; }

private:
    static void close(QWidget *w)
    {
        if (auto *box = qobject_cast<QMessageBox *>(w))
            box->button(QMessageBox::Ok)->click();
        else
            QMetaObject::invokeMethod(w, "reject");
    }
    void check()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal == current_ && open_.elapsed() > 60000)
            close(modal);
        if (modal == nullptr || modal == current_.data())
            return;
        current_ = modal;
        open_.start();
        auto *box = qobject_cast<QMessageBox *>(modal);
        seen.push_back({box ? "box" : "dialog", modal->windowTitle(), box ? box->text() : QString()});
        Step step = close;
        if (!steps_.empty()) {
            step = std::move(steps_.front());
            steps_.pop_front();
        }
        step(modal);
    }

    std::deque<Step> steps_;
    QTimer poll_;
    QPointer<QWidget> current_; // a box that is gone may leave its address to the next
    QElapsedTimer open_;
};

// A fresh working folder (the log and the temporary files go there), a
// clean bus and, on demand, the window.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        previous_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        sim::Bus::instance().reset();
    }
    void TearDown() override
    {
        window_.reset();
        sim::Bus::instance().reset();
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
    QString path(const QString &name) const { return dir_.filePath(name); }
    QString current() const { return QDir::currentPath(); }

    static QString read(const QString &name)
    {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    static bool write(const QString &name, const QByteArray &text)
    {
        QFile f(name);
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    }
    QString log() const { return read(path(QStringLiteral("log.txt"))); }
    // The log's lines without their time stamps.
    QStringList logEntries() const
    {
        static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d[ap]m "));
        QStringList entries;
        for (const QString &line : log().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            entries << (stamp.match(line).hasMatch() ? line.mid(10) : line);
        return entries;
    }

    // Runs `action` (which opens modals) while `steps` answer them.
    std::vector<ModalScript::Seen> withModals(std::deque<ModalScript::Step> steps, const std::function<void()> &action)
    {
        ModalScript script(std::move(steps));
        action();
        EXPECT_TRUE(script.done()) << "a scripted dialog never opened";
        return script.seen;
    }
    // Presses and releases the browse dot, answering with `steps`.
    std::vector<ModalScript::Seen> browse(std::deque<ModalScript::Step> steps)
    {
        return withModals(std::move(steps), [this]() { QTest::mouseClick(probe().ui().browseFileLabel, Qt::LeftButton); });
    }
    std::vector<ModalScript::Seen> choose(const QString &file, std::deque<ModalScript::Step> more = {})
    {
        more.push_front(ModalScript::choose(file));
        return browse(std::move(more));
    }

    std::shared_ptr<sim::Surface> attachSurface()
    {
        sim::SurfaceOptions options;
        options.targets = vireon::tools::targetsFor(images());
        return sim::Bus::instance().attach(options);
    }
    static std::vector<vireon::tools::ImageSpec> images()
    {
        vireon::tools::ImageSpec first;
        first.rowCount = 4;
        first.rowSize = 64;
        vireon::tools::ImageSpec second = first;
        second.siliconId = first.siliconId + 1;
        second.seed = 2;
        return {first, second};
    }
    // A well-formed two-image file.
    QString goodFile(const QString &name = QStringLiteral("surface.cyacd"))
    {
        EXPECT_TRUE(vireon::tools::writeFile(path(name).toStdString(), images()));
        return path(name);
    }

private:
    QTemporaryDir dir_;
    QString previous_;
    std::unique_ptr<MainWindow> window_;
};

} // namespace apptest

#endif
