// Scripted seams for tests: they record every message box and file dialog
// that was asked for, answer from a script, and drive modal dialogs by a
// scripted function instead of a nested event loop.
#pragma once

#include <QDialog>
#include <QString>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <stdexcept>
#include <vector>

#include "core/seams.h"

namespace scrivane::test {

class FakePrompts : public Prompts {
public:
    std::vector<MessageRequest> messages;
    std::vector<FileRequest> fileRequests;
    std::deque<MsgAnswer> answers;             // scripted answers, in order
    std::deque<std::optional<QString>> files;  // scripted file choices; nullopt = cancel
    // Scripted choices of several files at once; when none is left, one of files.
    std::deque<QStringList> fileLists;
    // Scripted types chosen in the dialogs that offer several (the index of
    // the filter); when none is scripted, the type is told by the name.
    std::deque<int> filters;
    // Called when a message box is shown, before it is answered (may be empty).
    std::function<void(const MessageRequest&)> onMessage;

    MsgAnswer MsgBox(const MessageRequest& request) override {
        messages.push_back(request);
        if (onMessage) onMessage(request);
        if (request.buttons == MsgButtons::Ok &&
            (answers.empty() || answers.front() != MsgAnswer::Ok))
            return MsgAnswer::Ok;  // a box with only OK needs no script
        if (answers.empty())
            throw std::logic_error("unscripted message box: " + request.text.toStdString());
        const MsgAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::optional<QString> ChooseFile(const FileRequest& request) override {
        fileRequests.push_back(request);
        if (files.empty())
            throw std::logic_error("unscripted file dialog: " + request.title.toStdString());
        auto choice = files.front();
        files.pop_front();
        return choice;
    }
    QStringList ChooseFiles(const FileRequest& request) override {
        if (fileLists.empty()) return Prompts::ChooseFiles(request);
        fileRequests.push_back(request);
        QStringList choice = fileLists.front();
        fileLists.pop_front();
        return choice;
    }
    std::optional<FileChoice> ChooseFileAndFilter(const FileRequest& request) override {
        if (filters.empty()) return Prompts::ChooseFileAndFilter(request);
        const int filter = filters.front();
        filters.pop_front();
        const std::optional<QString> path = ChooseFile(request);
        if (!path) return std::nullopt;
        return FileChoice{*path, filter};
    }
    QStringList Texts() const {
        QStringList texts;
        for (const auto& m : messages) texts << m.text;
        return texts;
    }
};

class FakePlatform : public Platform {
public:
    QSize screen{1024, 768};
    double dpi = 96;
    QTemporaryDir folder;  // the program's folder
    QTemporaryDir data;    // the user's data folder, unless dataFolder names one
    QString dataFolder;
    int waitDepth = 0;
    int pendingEventRuns = 0;
    std::vector<std::filesystem::path> opened;
    bool openResult = true;

    QSize ScreenPixels() const override { return screen; }
    double LogicalDpi() const override { return dpi; }
    std::filesystem::path ProgramFolder() const override { return folder.path().toStdString(); }
    // The settings stay in the program's folder: tests never touch the user's.
    QString SettingsFile() const override { return folder.filePath("settings.conf"); }
    QString DataFolder() const override { return dataFolder.isEmpty() ? data.path() : dataFolder; }
    void SetWaitCursor(bool on) override { waitDepth += on ? 1 : -1; }
    void ProcessPendingEvents() override { ++pendingEventRuns; }
    bool OpenWithDesktop(const std::filesystem::path& file) override {
        opened.push_back(file);
        return openResult;
    }
};

// Shows the dialog (not modally), runs the next scripted step on it, and
// returns its result; a step must close the dialog as a user would.
class FakeModalRunner : public ModalRunner {
public:
    std::deque<std::function<void(QDialog&)>> steps;
    std::vector<QString> shown;  // objectName of every dialog shown

    int Exec(QDialog& dialog) override {
        shown.push_back(dialog.objectName());
        if (steps.empty())
            throw std::logic_error("unscripted dialog: " + dialog.objectName().toStdString());
        auto step = std::move(steps.front());
        steps.pop_front();
        dialog.show();
        step(dialog);
        if (dialog.isVisible()) throw std::logic_error("the scripted step left the dialog open");
        return dialog.result();
    }
};

struct FakeSeams {
    FakePrompts prompts;
    FakePlatform platform;
    FakeModalRunner modal;
    Seams seams{prompts, platform, modal};
};

}  // namespace scrivane::test
