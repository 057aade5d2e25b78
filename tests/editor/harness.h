// Starts the real main window through start-up with scripted seams.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <functional>
#include <memory>

#include "core/moddule1.h"
#include "core/typeinfo.h"
#include "editor/formpaper.h"
#include "editor/startup.h"
#include "fakeseams.h"
#include "spreadsheet/excel.h"

namespace scrivane::test {

// The program's spreadsheet, with chosen operations made to fail.
struct ScriptedExcel : ExcelFactory {
    FaultHook faults;
    std::unique_ptr<ExcelApplication> CreateApplication() override {
        return std::make_unique<ExcelApplication>(faults);
    }
};

struct Harness {
    FakeSeams fake;
    ScriptedExcel excel;
    Moddule1 state;
    std::unique_ptr<FormPaper> window;

    // prepare: scripts the seams before start-up runs.
    explicit Harness(std::int16_t answerType = 3, QSize screen = {1024, 768},
                     const std::function<void(FakeSeams&)>& prepare = {}) {
        fake.platform.screen = screen;
        WriteTypeInfoFile(fake.platform.ProgramFolder() / kTypeInfoFileName, answerType);
        if (prepare) prepare(fake);
        window = Main(state, fake.seams, &excel);
    }
    ~Harness() {
        // Closing at the end of a test must not ask anything.
        window->BoundTable().CancelUpdate();
        state.PaperModified = false;
        window->close();
    }

    template <typename T = QWidget>
    T* Find(const QString& name) const {
        if (window->objectName() == name) return qobject_cast<T*>(window.get());
        auto* w = window->findChild<T*>(name);
        if (!w) qWarning("no control %s", qPrintable(name));
        return w;
    }
    QuestionTable& table() { return window->BoundTable(); }
    QString Text(const QString& name) const {
        if (auto* label = window->findChild<QLabel*>(name)) return label->text();
        if (auto* box = window->findChild<QLineEdit*>(name)) return box->text();
        return {};
    }
    void Click(int command) { window->CommandTools_Click(command); }
};

}  // namespace scrivane::test
