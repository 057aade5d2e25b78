// The paper without windows: a PaperWindow that only holds the question
// table, prompts that record what would have been shown, and a platform
// with no screen. The converter runs import and export through these.
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "core/moddule1.h"
#include "core/paperwindow.h"
#include "core/platform.h"
#include "core/prompts.h"
#include "core/questiontable.h"

namespace scrivane {

class HeadlessPaper : public PaperWindow {
public:
    explicit HeadlessPaper(Moddule1& module) : module_(module) {}
    QuestionTable& BoundTable() override { return *table_; }
    void SetTable(std::unique_ptr<QuestionTable> table) override {
        table_ = std::move(table);
        table_->MoveFirst();
    }
    void CountScore() override {
        total_ = 0;
        for (int i = 1; i <= kMaxQuestions; ++i) total_ += module_.ScoreList(i);
    }
    void SetQuestionCount(int count) override { questionCount_ = count; }
    void SetWindowCaption(const QString& caption) override { caption_ = caption; }

    double Total() const { return total_; }
    int QuestionCount() const { return questionCount_; }

private:
    Moddule1& module_;
    std::unique_ptr<QuestionTable> table_ = std::make_unique<QuestionTable>();
    double total_ = 0;
    int questionCount_ = 0;
    QString caption_;
};

class RecordingPrompts : public Prompts {
public:
    std::vector<MessageRequest> messages;
    MsgAnswer MsgBox(const MessageRequest& request) override {
        messages.push_back(request);
        return request.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
    }
    std::optional<QString> ChooseFile(const FileRequest&) override { return std::nullopt; }
};

class HeadlessPlatform : public Platform {
public:
    QSize ScreenPixels() const override { return {1024, 768}; }
    double LogicalDpi() const override { return 96; }
    std::filesystem::path ProgramFolder() const override { return {}; }
    void SetWaitCursor(bool) override {}
    void ProcessPendingEvents() override {}
    bool OpenWithDesktop(const std::filesystem::path&) override { return false; }
};

}  // namespace scrivane
