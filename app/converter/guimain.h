// The start that the converter's programs with Qt Gui share: Qt's warnings
// kept out of the output, the offscreen platform unless another is asked
// for, the arguments read by the mode's parser, and the run with the
// program's folder, where TypeInfo.con is.
#pragma once

#include <QGuiApplication>
#include <filesystem>
#include <variant>

#include "options.h"

namespace scrivane::convert {

template <class Job, class Run>
int RunGuiProgram(int argc, char** argv,
                  std::variant<Job, ConverterRun> (*parse)(const QStringList&), Run run) {
    QuietQtMessages();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication app(argc, argv);
    const auto parsed = parse(Arguments(argc, argv));
    if (const auto* refused = std::get_if<ConverterRun>(&parsed)) return Finish(*refused);
    const std::filesystem::path folder = QGuiApplication::applicationDirPath().toStdString();
    return Finish(run(std::get<Job>(parsed), folder));
}

}  // namespace scrivane::convert
