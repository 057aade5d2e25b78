// scangen OUTDIR COUNT [SEED] [STYLE] [QUESTIONS] [DPI]: writes COUNT filled
// and scanned answer sheets of a sample paper (100 questions unless told) in
// three versions printed with the same seed, each as sheet-NNN.png or .jpg
// with sheet-NNN.json holding the truth.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <algorithm>
#include <cstdio>

#include "scangen/scangen.h"

int main(int argc, char** argv) {
    // Painting needs fonts, never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: scangen OUTDIR COUNT [SEED] [STYLE] [QUESTIONS] [DPI]\n");
        return 2;
    }
    const QDir out(args[1]);
    if (!out.exists() && !QDir().mkpath(args[1])) {
        std::fprintf(stderr, "scangen: cannot create %s\n", qPrintable(args[1]));
        return 1;
    }
    const int count = args[2].toInt();
    const std::uint32_t seed = args.size() > 3 ? args[3].toUInt() : 1;
    const int style = args.size() > 4 ? args[4].toInt() : -1;
    const int questions = args.size() > 5 ? std::clamp(args[5].toInt(), 1, 100) : 100;
    const double dpi = args.size() > 6 ? std::clamp(args[6].toDouble(), 72.0, 600.0) : 200;
    using namespace scrivane::scangen;
    const PrintRun run = Print(SamplePaper(questions, seed), QStringLiteral("ABCDE"), 3, seed);
    std::mt19937 random(seed);
    for (int i = 0; i < count; ++i) {
        const Distortion d = RandomDistortion(random, style);
        const Sheet sheet = MakeSheet(run, i % 3, d, dpi, random);
        const QString base =
            out.filePath(QStringLiteral("sheet-%1").arg(i + 1, 3, 10, QChar(u'0')));
        QFile image(base + (d.jpegQuality > 0 ? ".jpg" : ".png"));
        QFile truth(base + ".json");
        if (!image.open(QIODevice::WriteOnly) || !truth.open(QIODevice::WriteOnly)) return 1;
        image.write(Encode(sheet.image, d.jpegQuality > 0 ? 92 : 0, dpi));
        truth.write(QJsonDocument(sheet.truth).toJson());
    }
    return 0;
}
