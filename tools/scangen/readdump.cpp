// readdump COUNT: every number the reader gives for the first COUNT sheets of
// the evaluation mix (status, reasons, the upright page's digest, each
// bubble's fill, strokes and mark), to compare two builds byte for byte.
#include <QCryptographicHash>
#include <QGuiApplication>
#include <cstdio>
#include <random>

#include "grading/read/sheetreader.h"
#include "scangen/evaluate.h"
#include "scangen/scangen.h"

using namespace scrivane;
using namespace scrivane::scangen;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int count = argc > 1 ? atoi(argv[1]) : 30;
    const PrintRun run = Print(SamplePaper(100, 5), QStringLiteral("ABCDE"), 3, 5);
    const SheetReader reader(run.paper, run.modeLetters);
    std::mt19937 random(2024);
    for (int i = 0; i < count; ++i) {
        double dpi = 0;
        const Sheet sheet = EvaluationSheet(run, i, random, &dpi);
        const PageRead r = reader.Read({sheet.image, dpi, {}});
        std::printf("sheet %d status %d version %s codeMissing %d reasons [%s]\n", i, int(r.status),
                    qPrintable(r.version), int(r.codeMissing), qPrintable(r.reasons.join(" | ")));
        std::printf(" upright %dx%d %s T %.17g %.17g\n", r.upright.width(), r.upright.height(),
                    QCryptographicHash::hash(
                        QByteArray(reinterpret_cast<const char*>(r.upright.constBits()),
                                   int(r.upright.sizeInBytes())),
                        QCryptographicHash::Sha1)
                        .toHex()
                        .constData(),
                    r.pointsToUpright.m11(), r.pointsToUpright.m22());
        for (const BubbleRead& b : r.bubbles)
            std::printf(" %d:%d:%d %.17g %.17g %d\n", int(b.bubble.kind), b.bubble.question,
                        b.bubble.position, b.fill, b.strong, int(b.mark));
    }
    return 0;
}
