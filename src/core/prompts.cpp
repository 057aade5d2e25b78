#include "core/prompts.h"

#include <QRegularExpression>

namespace scrivane {

void ShowMessage(Prompts& prompts, const QString& text) {
    MessageRequest request;
    request.text = text;
    prompts.MsgBox(request);
}

QStringList Prompts::ChooseFiles(const FileRequest& request) {
    const std::optional<QString> path = ChooseFile(request);
    return path ? QStringList{*path} : QStringList{};
}

std::optional<FileChoice> Prompts::ChooseFileAndFilter(const FileRequest& request) {
    const std::optional<QString> path = ChooseFile(request);
    if (!path) return std::nullopt;
    const QStringList parts = request.filter.split(u'|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        for (const QString& pattern : parts[i + 1].split(QRegularExpression(QStringLiteral("[ ;]")),
                                                          Qt::SkipEmptyParts)) {
            const QRegularExpression glob(
                QRegularExpression::wildcardToRegularExpression(pattern),
                QRegularExpression::CaseInsensitiveOption);
            if (glob.match(path->section(u'/', -1)).hasMatch()) return FileChoice{*path, i / 2};
        }
    }
    return FileChoice{*path, 0};
}

}  // namespace scrivane
