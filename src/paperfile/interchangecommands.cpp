#include "paperfile/interchangecommands.h"

#include <QFileInfo>

#include "core/filenames.h"
#include "core/questiontable.h"
#include "interchange/questionfile.h"
#include "paperfile/papercommands.h"

namespace scrivane {

namespace {

using interchange::Format;
using interchange::Formats;

QString AllFilters() {
    QStringList filters;
    for (const interchange::FormatInfo& info : Formats())
        filters << interchange::FilterOf(info.format);
    return filters.join(u'|');
}

// "All supported files" first, then each format.
QString OpenFilters() {
    QStringList patterns = {QStringLiteral("*.tpf")};
    for (const interchange::FormatInfo& info : Formats()) patterns << u'*' + info.extension;
    const QString all = patterns.join(u' ');
    return QStringLiteral("All supported files (%1)|%1|").arg(all) + AllFilters();
}

// A refusal titled "Error" with its reasons below the text.
void ShowError(Prompts& prompts, const QString& text, const QStringList& details) {
    MessageRequest refusal;
    refusal.text = text;
    refusal.title = QStringLiteral("Error");
    refusal.icon = MsgIcon::Exclamation;
    refusal.informativeText = details.join(u'\n');
    prompts.MsgBox(refusal);
}

}  // namespace

InterchangeCommands::InterchangeCommands(Moddule1& state, PaperHolder& window, Seams& seams,
                                         PaperCommands& paper, QObject* parent)
    : QObject(parent), state_(state), window_(window), seams_(seams), paper_(paper) {
    rerun_.setSingleShot(true);
    rerun_.setInterval(100);
    connect(&rerun_, &QTimer::timeout, this, [this] {
        seams_.platform.SetWaitCursor(false);
        ImportFrom_Click();
    });
}

void InterchangeCommands::ExportAs_Click() {
    const std::vector<QuestionRecord> questions = window_.BoundTable().Records();
    if (questions.empty()) {
        ShowMessage(seams_.prompts, QStringLiteral("The test paper should not be empty."));
        return;
    }
    const auto choice = seams_.prompts.ChooseFileAndFilter(
        Request(FileRequest::Kind::Save,
                QStringLiteral("Select the file name that you want to save"), AllFilters()));
    if (!choice) return;
    const auto& formats = Formats();
    const Format chosen =
        formats[std::size_t(std::clamp<int>(choice->filter, 0, int(formats.size()) - 1))].format;
    // A typed extension that names a format chooses it, as the converter's
    // output name does; the chosen type applies only to a name without one.
    QString path = choice->path;
    const std::optional<Format> typed = interchange::FormatOfExtension(path);
    const interchange::FormatInfo& info = interchange::InfoOf(typed.value_or(chosen));
    if (!typed && !HasPlainExtension(path)) path += info.extension;

    const QStringList unfit = interchange::UnfitFor(questions, info.format);
    if (!unfit.isEmpty()) {
        ShowError(seams_.prompts,
                  QStringLiteral("The paper cannot be written as %1.").arg(info.description),
                  unfit);
        return;
    }
    if (PathIsTaken(path) && !paper_.ConfirmOverwrite()) return;
    if (info.format == Format::Xls) {
        paper_.Export(path);  // EXPORT itself
        return;
    }
    const interchange::WriteOutcome written =
        interchange::WriteQuestionFile(path, questions, info.format);
    if (!written.Written()) {
        paper_.TellWriteFailure(written.reason);
    } else if (!written.notes.isEmpty()) {
        // A text-only format leaves the pictures out: each is named.
        MessageRequest note;
        note.text = QStringLiteral("The paper was written as %1 without its pictures.")
                        .arg(info.description);
        note.icon = MsgIcon::Information;
        note.informativeText = written.notes.join(u'\n');
        seams_.prompts.MsgBox(note);
    }
}

// The file dialogs start in the test_papers folder, as EXPORT's and IMPORT's do.
FileRequest InterchangeCommands::Request(FileRequest::Kind kind, const QString& title,
                                         const QString& filter) const {
    FileRequest request;
    request.kind = kind;
    request.title = title;
    request.folder = paper_.DefaultFolder();
    request.filter = filter;
    return request;
}

void InterchangeCommands::ImportFrom_Click() {
    if (!paper_.SaveFirst([this] { rerun_.start(); })) return;
    const auto choice = seams_.prompts.ChooseFileAndFilter(
        Request(FileRequest::Kind::Open,
                QStringLiteral("Please select the file should be imported."), OpenFilters()));
    if (!choice) return;
    // "All supported files" recognises the format by the content; a text
    // format's own filter reads the file as that format. A workbook as
    // IMPORT itself reads it, any other format by its reader.
    std::optional<Format> told;
    const auto& formats = Formats();
    if (choice->filter >= 1 && choice->filter <= int(formats.size()))
        if (const Format chosen = formats[std::size_t(choice->filter - 1)].format;
            !interchange::IsWorkbook(chosen))
            told = chosen;
    paper_.ImportChosenFileAs(choice->path, told);
}

}  // namespace scrivane
