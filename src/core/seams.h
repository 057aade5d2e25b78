// The seams handed to every window and command: prompts (message boxes, file
// dialogs), the desktop platform, and the modal showing of a dialog. Tests
// hand in scripted ones; nothing here is global.
#pragma once

#include "core/platform.h"
#include "core/prompts.h"

class QDialog;

namespace scrivane {

class ModalRunner {
public:
    virtual ~ModalRunner() = default;
    // Shows the dialog modally and returns its result once it is closed.
    virtual int Exec(QDialog& dialog) = 0;
};

struct Seams {
    Prompts& prompts;
    Platform& platform;
    ModalRunner& modal;
};

}  // namespace scrivane
