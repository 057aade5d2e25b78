// Export As and Import From: the paper written in, or replaced from, any of
// the interchange formats, with EXPORT's and IMPORT's questions, messages
// and safe write.
#pragma once

#include <QObject>
#include <QTimer>

#include "core/moddule1.h"
#include "core/paperholder.h"
#include "core/seams.h"

namespace scrivane {

class PaperCommands;

class InterchangeCommands : public QObject {
    Q_OBJECT
public:
    InterchangeCommands(Moddule1& state, PaperHolder& window, Seams& seams, PaperCommands& paper,
                        QObject* parent = nullptr);

    // A save dialog with one filter per format; the format follows the
    // filter, and its extension is added to a name without one. A paper the
    // format cannot carry whole is refused before anything is written.
    void ExportAs_Click();
    // The unsaved-changes question as IMPORT asks it (a save runs the
    // command again shortly), then an open dialog for every format; the file
    // is read by its content and replaces the paper as IMPORT does.
    void ImportFrom_Click();

private:
    FileRequest Request(FileRequest::Kind kind, const QString& title, const QString& filter) const;

    Moddule1& state_;
    PaperHolder& window_;
    Seams& seams_;
    PaperCommands& paper_;
    QTimer rerun_;  // runs Import From again after a save
};

}  // namespace scrivane
