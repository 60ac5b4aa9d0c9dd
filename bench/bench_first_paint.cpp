// The window's first paint and idle memory against a bare Qt window of the
// same size, on a real X server: both programs are started in turns (the
// updater's demo with no surface, then the bare window, ten times), and the
// medians are compared. Prints both ratios; the counters carry the figures.
//
// Uses $DISPLAY, or starts Xvfb on a free display when none is set.
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
    process.start(program, arguments);
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
    }
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    return {number(out, "first paint: ([0-9.]+) ms after the process start"),
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

void FirstPaintAndIdleMemoryAgainstABareWindow(benchmark::State &state)
{
    const Display display;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    const int pairs = 10;
    std::vector<double> windowMs, bareMs, windowMiB, bareMiB;
    for (auto _ : state) {
        for (int i = 0; i < pairs; ++i) {
            const Figures window = run(QStringLiteral(VIREON_CONTROL_DEMO),
                                       {QStringLiteral("--scenario"), QStringLiteral("absent"),
                                        QStringLiteral("--time-to-show")},
                                       environment);
            const Figures bare = run(QStringLiteral(VIREON_BARE_WINDOW), {}, environment);
            if (window.firstPaintMs < 0 || bare.firstPaintMs < 0 || window.idleMiB < 0 || bare.idleMiB < 0) {
                state.SkipWithError("a program did not print its figures (no X server?)");
                return;
            }
            windowMs.push_back(window.firstPaintMs);
            bareMs.push_back(bare.firstPaintMs);
            windowMiB.push_back(window.idleMiB);
            bareMiB.push_back(bare.idleMiB);
        }
    }
    const double paint = median(windowMs) / median(bareMs), memory = median(windowMiB) / median(bareMiB);
    state.counters["window_ms"] = median(windowMs);
    state.counters["bare_ms"] = median(bareMs);
    state.counters["paint_ratio"] = paint;
    state.counters["window_MiB"] = median(windowMiB);
    state.counters["bare_MiB"] = median(bareMiB);
    state.counters["memory_ratio"] = memory;
    std::printf("first paint: window %.1f ms, bare window %.1f ms: %.2fx (medians of %zu interleaved runs)\n",
                median(windowMs), median(bareMs), paint, windowMs.size());
    std::printf("idle memory: window %.1f MiB, bare window %.1f MiB: %.2fx\n", median(windowMiB), median(bareMiB),
                memory);
}
BENCHMARK(FirstPaintAndIdleMemoryAgainstABareWindow)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
