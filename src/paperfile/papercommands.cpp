#include "paperfile/papercommands.h"

#include <QTimer>
#include <memory>

#include "core/questiontable.h"

namespace scrivane {

namespace {

const QString kTitle = QStringLiteral("Quennet");

}  // namespace

PaperCommands::PaperCommands(Moddule1& state, PaperWindow& window, Seams& seams, QTimer& Timer1,
                             QWidget* dialogParent)
    : state_(state), window_(window), seams_(seams), Timer1_(Timer1), dialogParent_(dialogParent) {}

void PaperCommands::ShowCaption() {
    window_.SetWindowCaption(kTitle + QStringLiteral("  ") + state_.PaperFileName);
}

// One question with the default mark and no answer; the modified flag keeps
// its value.
void PaperCommands::InstallBlankPaper() {
    for (int i = 1; i <= kMaxQuestions; ++i) state_.ScoreList(i) = 0;
    auto table = std::make_unique<QuestionTable>();
    table->AddNew();
    table->SetField(QuestionTable::QuestionNo, table->AbsolutePosition());
    table->SetField(QuestionTable::Score, state_.DefaultScore);
    table->SetField(QuestionTable::Answer, kUncertain);
    for (int c = QuestionTable::Title; c <= QuestionTable::ItemF; ++c) table->SetField(c, QString());
    table->Update();
    state_.ScoreList(table->Field(QuestionTable::QuestionNo).toInt()) =
        table->Field(QuestionTable::Score).toFloat();
    window_.SetTable(std::move(table));
    window_.CountScore();
    window_.SetQuestionCount(window_.BoundTable().RecordCount());
    state_.PaperFileName.clear();
    ShowCaption();
}

void PaperCommands::NewPaper_Click() {
    if (state_.StartupNew) {
        state_.QuickNewResult = false;
        InstallBlankPaper();
        return;
    }
    // The prompt, the quick dialog and the answer sheets come with the paper
    // file commands.
    InstallBlankPaper();
}

void PaperCommands::OpenPaper_Click() {}
void PaperCommands::SavePaper_Click() {}
void PaperCommands::ImportPaper_Click() {}
void PaperCommands::ExportPaper_Click() {}
void PaperCommands::Timer1_Timer() {}

bool PaperCommands::SplitFilePath(const QString& path, QString& fileName, QString& folder) {
    if (path.isEmpty()) return false;
    const qsizetype slash = path.lastIndexOf(u'/');
    folder = slash < 0 ? QString() : path.left(slash + 1);
    fileName = slash < 0 ? path : path.mid(slash + 1);
    return !folder.isEmpty() && !fileName.isEmpty();
}

}  // namespace scrivane
