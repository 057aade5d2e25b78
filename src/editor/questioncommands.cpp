#include "editor/questioncommands.h"

#include <array>

#include "core/questiontable.h"

namespace scrivane {

void QuestionCommands::AddQuestion_Click() {
    QuestionTable& table = window_.BoundTable();
    const int n = table.RecordCount();
    if (n >= kMaxQuestions) {
        // The paper holds at most 100 questions.
        ShowMessage(
            prompts_,
            QStringLiteral("There should not be more than 100 questions in one test paper."));
        return;
    }
    if (!table.AddNew()) return;
    WriteNewQuestion(table, state_.DefaultScore, kUncertain);  // number n + 1
    table.Update();
    window_.SetQuestionCount(table.RecordCount());
    state_.ScoreList(table.Field(QuestionTable::QuestionNo).toInt()) =
        table.Field(QuestionTable::Score).toFloat();
    window_.CountScore();
    state_.PaperModified = true;
}

void QuestionCommands::DeleteQuestion_Click() {
    QuestionTable& table = window_.BoundTable();
    if (table.RecordCount() == 0 || !table.HasCurrentRow()) return;
    const int p = table.AbsolutePosition();
    table.Delete();
    if (table.RecordCount() > 0) {
        table.MoveFirst();
        while (!table.Eof()) {
            table.SetField(QuestionTable::QuestionNo, table.AbsolutePosition());
            state_.ScoreList(table.Field(QuestionTable::QuestionNo).toInt()) =
                table.Field(QuestionTable::Score).toFloat();
            table.MoveNext();
        }
        if (table.RecordCount() > p) {
            table.MoveFirst();
            table.Move(p - 1);
        } else {
            table.MoveLast();
        }
    }
    window_.SetQuestionCount(table.RecordCount());
    window_.CountScore();
    state_.PaperModified = true;
}

namespace {

// The nine fields a move exchanges; the number stays with the place.
constexpr std::array<int, 9> kMovedFields = {
    QuestionTable::Answer, QuestionTable::ItemA, QuestionTable::ItemB,
    QuestionTable::ItemC,  QuestionTable::ItemD, QuestionTable::ItemE,
    QuestionTable::ItemF,  QuestionTable::Score, QuestionTable::Title};

std::array<QVariant, 9> ReadMoved(const QuestionTable& table) {
    std::array<QVariant, 9> values;
    for (std::size_t i = 0; i < kMovedFields.size(); ++i) values[i] = table.Field(kMovedFields[i]);
    return values;
}

void WriteMoved(QuestionTable& table, const std::array<QVariant, 9>& values) {
    for (std::size_t i = 0; i < kMovedFields.size(); ++i)
        table.SetField(kMovedFields[i], values[i]);
}

}  // namespace

// Exchanges the contents of the questions at places `from` (current) and `to`
// and leaves the moved question current at its new place. The writes are the
// program's own, so they raise no row check that could undo ScoreList.
void QuestionCommands::Exchange(int from, int to) {
    QuestionTable& table = window_.BoundTable();
    const auto moving = ReadMoved(table);
    state_.ScoreList(to) = table.Field(QuestionTable::Score).toFloat();
    table.SetAbsolutePosition(to);
    const auto other = ReadMoved(table);
    state_.ScoreList(from) = table.Field(QuestionTable::Score).toFloat();
    WriteMoved(table, moving);
    table.SetAbsolutePosition(from);
    WriteMoved(table, other);
    table.Update();
    table.SetAbsolutePosition(to);
    state_.PaperModified = true;
}

void QuestionCommands::MoveUpQuestion_Click() {
    QuestionTable& table = window_.BoundTable();
    const int p = table.AbsolutePosition();
    if (p <= 1) return;
    Exchange(p, p - 1);
}

void QuestionCommands::MoveDownQuestion_Click() {
    QuestionTable& table = window_.BoundTable();
    const int p = table.AbsolutePosition();
    const int n = table.RecordCount();
    if (n == 0 || p < 1 || p >= n) return;
    Exchange(p, p + 1);
}

}  // namespace scrivane
