#include "core/prompts.h"

namespace scrivane {

void ShowMessage(Prompts& prompts, const QString& text) {
    MessageRequest request;
    request.text = text;
    prompts.MsgBox(request);
}

}  // namespace scrivane
