#include "print/pdfconvert.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace scrivane {

namespace {

const QStringList kFlags = {QStringLiteral("--shuffle-questions"),
                            QStringLiteral("--shuffle-options"), QStringLiteral("--no-paper"),
                            QStringLiteral("--no-key"), QStringLiteral("--answer-sheet")};
const QStringList kValued = {QStringLiteral("--versions"),  QStringLiteral("--seed"),
                             QStringLiteral("--heading"),   QStringLiteral("--versions-json"),
                             QStringLiteral("--id-digits"), QStringLiteral("--sheet-layout-json"),
                             QStringLiteral("--mode")};

constexpr char kPdfProgram[] = "scrivane-convert-pdf";

// The folder of the running program, from the link the kernel keeps to it.
std::filesystem::path ProgramFolder(const char* argv0) {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self.parent_path();
    return std::filesystem::path(argv0 ? argv0 : "").parent_path();
}

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

std::optional<int> RunPdfMain(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    if (!IsPdfConversion(arguments)) return std::nullopt;
    const std::string program =
        (ProgramFolder(argc > 0 ? argv[0] : nullptr) / kPdfProgram).string();
    std::vector<char*> childArguments{const_cast<char*>(program.c_str())};
    for (int i = 1; i < argc; ++i) childArguments.push_back(argv[i]);
    childArguments.push_back(nullptr);
    std::fflush(stdout);
    execv(program.c_str(), childArguments.data());
    std::fprintf(stderr, "scrivane-convert: cannot start %s: %s\n", program.c_str(),
                 std::strerror(errno));
    return 2;
}

}  // namespace scrivane
