// The time the signature check adds to choosing the example file, side by
// side: the choice's own work on the file (read and split it, write the two
// temporary images, check them) without any signature check, then with the
// check on an unsigned file, a prehashed signature and a legacy one. The
// keys and signatures are made with the minisign tool when the benchmark
// starts, in a temporary folder.
//
//   bench_signature --benchmark_filter=BM_ChooseExample
#include <benchmark/benchmark.h>

#include "firmware_file.h"
#include "minisign_kit.h"
#include "signature_check.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace vireon;
using Form = tools::MinisignKit::Form;

enum Signature { NoCheck, Unsigned, Prehashed, Legacy };

void BM_ChooseExample(benchmark::State &state)
{
    const auto kind = static_cast<Signature>(state.range(0));
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("vireon-surface-demo.cyacd"));
    QFile::copy(QStringLiteral(VIREON_EXAMPLE_FILE), file);
    QDir(dir.path()).mkdir(QStringLiteral("keys"));
    const core::TrustLocations locations{{dir.filePath(QStringLiteral("keys"))}, dir.filePath(QStringLiteral("policy.conf"))};
    if (kind == Prehashed || kind == Legacy) {
        tools::MinisignKit kit(dir.path());
        if (kit.makeKey(QStringLiteral("keys/maker")).isEmpty() ||
            !kit.sign(QStringLiteral("keys/maker"), file, kind == Legacy ? Form::Legacy : Form::Prehashed)) {
            state.SkipWithError("the minisign tool is missing or failed");
            return;
        }
        QFile::remove(dir.filePath(QStringLiteral("keys/maker.key"))); // only *.pub is read, but keep none
    }
    const QString temp1 = dir.filePath(QStringLiteral("vireonTemp1.txt")), temp2 = dir.filePath(QStringLiteral("vireonTemp2.txt"));
    for (auto _ : state) {
        const core::SplitImages split = core::splitFirmwareFile(file);
        core::writeImageFiles(split, temp1, temp2);
        if (kind != NoCheck) {
            const core::SignatureCheck check =
                core::checkSignature(split.bytes, core::signaturePathFor(file), core::loadTrust(locations));
            if (check.refused() || (kind != Unsigned) != (check.status == core::SignatureCheck::Status::Good))
                state.SkipWithError("the signature check did not give the expected result");
        }
        benchmark::DoNotOptimize(core::checkImageFiles(split, temp1, temp2));
    }
}
BENCHMARK(BM_ChooseExample)
    ->ArgName("signature")
    ->Arg(NoCheck)
    ->Arg(Unsigned)
    ->Arg(Prehashed)
    ->Arg(Legacy)
    ->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
