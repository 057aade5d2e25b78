#include "print/pdfconvert.h"

namespace scrivane {

namespace {

const QStringList kFlags = {QStringLiteral("--shuffle-questions"),
                            QStringLiteral("--shuffle-options"), QStringLiteral("--no-paper"),
                            QStringLiteral("--no-key"), QStringLiteral("--answer-sheet")};
const QStringList kValued = {QStringLiteral("--versions"),  QStringLiteral("--seed"),
                             QStringLiteral("--heading"),   QStringLiteral("--versions-json"),
                             QStringLiteral("--id-digits"), QStringLiteral("--sheet-layout-json"),
                             QStringLiteral("--mode")};

}  // namespace

PdfArguments ParsePdfArguments(const QStringList& arguments) {
    PdfArguments parsed;
    bool optionsEnded = false;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (optionsEnded || !argument.startsWith(u'-') || argument.size() == 1) {
            parsed.files << argument;
        } else if (argument == QStringLiteral("--")) {
            optionsEnded = true;
        } else if (kFlags.contains(argument)) {
            parsed.flags.insert(argument);
        } else if (kValued.contains(argument)) {
            if (i + 1 < arguments.size())
                parsed.values.insert(argument, arguments[++i]);
            else
                parsed.missingValue << argument;
        } else {
            parsed.unknown << argument;
        }
    }
    return parsed;
}

bool IsPdfPath(const QString& path) {
    return path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive);
}

bool IsPdfConversion(const QStringList& arguments) {
    PdfArguments parsed = ParsePdfArguments(arguments);
    // --mode belongs to --check and --rebalance as well: alone it asks for no PDF.
    const QString mode = QStringLiteral("--mode");
    parsed.values.remove(mode);
    parsed.missingValue.removeAll(mode);
    if (!parsed.flags.isEmpty() || !parsed.values.isEmpty() || !parsed.missingValue.isEmpty())
        return true;
    return parsed.unknown.isEmpty() && parsed.files.size() == 2 && IsPdfPath(parsed.files[1]);
}

}  // namespace scrivane
