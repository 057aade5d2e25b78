// The paper without windows: a PaperHolder that only holds the paper
// document, prompts that record what would have been shown, and a platform
// with no screen, for the tests of import and export.
#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "core/moddule1.h"
#include "core/paperholder.h"
#include "core/platform.h"
#include "core/prompts.h"
#include "core/questiontable.h"

namespace scrivane {

class HeadlessPaper : public PaperHolder {
public:
    explicit HeadlessPaper(Moddule1& module) : document_(module) {}
    PaperDocument& Document() override { return document_; }
    void ReplacePaper(const QString&, const std::vector<QuestionRecord>& rows) override {
        document_.Install(rows, {});
        document_.SetModified(false);
    }
    // Fills the paper with the rows of a table built row by row.
    void SetTable(std::unique_ptr<QuestionTable> table) { ReplacePaper({}, table->Records()); }

    double Total() const { return double(document_.Total()); }
    int QuestionCount() const { return document_.Count(); }

private:
    PaperDocument document_;
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
