// The window's first paint (from its launch until its first paint is done
// and handed to the X server) and idle memory against a bare Qt window of
// the same size, on a real X server: the programs are started in turns (the
// updater's demo with no surface, the bare window, and the bare window with
// one line of text, ten times), and the medians are compared. Prints both
// ratios, and the text-only window's as the floor of any window that draws
// text; the counters carry the figures.
//
// Uses $DISPLAY, or starts Xvfb on a free display when none is set.
#include "process_figures.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Figures {
    double firstPaintMs = -1;
    double idleMiB = -1;
};

double number(const QString &text, const char *pattern)
{
    const QRegularExpressionMatch m = QRegularExpression(QString::fromLatin1(pattern)).match(text);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

Figures run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)
{
    QTemporaryDir folder; // the updater writes its log and lock there
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder.path());
    // From the launch to the first paint, both read on the monotonic clock:
    // the kernel's own process start time counts in 10 ms ticks.
    const double launched = vireon::demo::monotonicMs();
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
    }
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const double paintedAt = number(out, "first paint at: ([0-9.]+) ms on the monotonic clock");
    return {paintedAt < 0 ? -1 : paintedAt - launched,
            number(out, "idle resident memory: ([0-9.]+) MiB")};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? -1 : n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// An X server for the run: the caller's, or a private Xvfb.
class Display
{
public:
    Display()
    {
        if (qEnvironmentVariableIsSet("DISPLAY"))
            return;
        int number = 70;
        while (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)) ||
               QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            ++number;
        name_ = QStringLiteral(":%1").arg(number);
        xvfb_.start(QStringLiteral("Xvfb"), {name_, QStringLiteral("-screen"), QStringLiteral("0"),
                                             QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                             QStringLiteral("tcp")});
        for (int i = 0; i < 100 && !QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(number)); ++i)
            QThread::msleep(50);
    }
    ~Display()
    {
        if (xvfb_.state() != QProcess::NotRunning) {
            xvfb_.terminate();
            xvfb_.waitForFinished();
        }
    }
    QString name() const { return name_.isEmpty() ? qEnvironmentVariable("DISPLAY") : name_; }

private:
    QString name_;
    QProcess xvfb_;
};

// The figures of one program over the runs.
struct Series {
    std::vector<double> ms, mib;
    void add(const Figures &figures)
    {
        ms.push_back(figures.firstPaintMs);
        mib.push_back(figures.idleMiB);
    }
};

void printRatios(const char *what, const Series &window, const Series &bare)
{
    std::printf("%sfirst paint: window %.1f ms, bare window %.1f ms: %.2fx (medians of %zu interleaved runs)\n", what,
                median(window.ms), median(bare.ms), median(window.ms) / median(bare.ms), window.ms.size());
    std::printf("%sidle memory: window %.1f MiB, bare window %.1f MiB: %.2fx\n", what, median(window.mib),
                median(bare.mib), median(window.mib) / median(bare.mib));
}

// VIREON_EARLIER_WINDOW names another build of vireon-control-demo (an
// earlier version kept aside): it is started in the same turns, so the two
// builds are compared under the same load.
void FirstPaintAndIdleMemoryAgainstABareWindow(benchmark::State &state)
{
    const Display display;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    const QString earlierWindow = qEnvironmentVariable("VIREON_EARLIER_WINDOW");
    const QStringList windowArguments = {QStringLiteral("--scenario"), QStringLiteral("absent"),
                                         QStringLiteral("--time-to-show")};
    const int pairs = 10;
    Series window, bare, labelled, earlier;
    for (auto _ : state) {
        for (int i = 0; i < pairs; ++i) {
            const Figures shown = run(QStringLiteral(VIREON_CONTROL_DEMO), windowArguments, environment);
            const Figures plain = run(QStringLiteral(VIREON_BARE_WINDOW), {}, environment);
            const Figures oneLabel = run(QStringLiteral(VIREON_BARE_WINDOW), {QStringLiteral("--one-label")}, environment);
            const Figures before = earlierWindow.isEmpty() ? Figures{0, 0} : run(earlierWindow, windowArguments, environment);
            for (const Figures &figures : {shown, plain, oneLabel, before})
                if (figures.firstPaintMs < 0 || figures.idleMiB < 0) {
                    state.SkipWithError("a program did not print its figures (no X server?)");
                    return;
                }
            window.add(shown);
            bare.add(plain);
            labelled.add(oneLabel);
            earlier.add(before);
        }
    }
    state.counters["window_ms"] = median(window.ms);
    state.counters["bare_ms"] = median(bare.ms);
    state.counters["paint_ratio"] = median(window.ms) / median(bare.ms);
    state.counters["window_MiB"] = median(window.mib);
    state.counters["bare_MiB"] = median(bare.mib);
    state.counters["memory_ratio"] = median(window.mib) / median(bare.mib);
    printRatios("", window, bare);
    printRatios("the bare window with one text label: ", labelled, bare);
    if (!earlierWindow.isEmpty())
        printRatios("earlier build: ", earlier, bare);
}
BENCHMARK(FirstPaintAndIdleMemoryAgainstABareWindow)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
