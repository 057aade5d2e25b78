// Feeds arbitrary bytes to the workbook reader: anything but a Workbook or a
// WorkbookError (a crash, a sanitizer report, a hang, runaway memory) is a bug.
#include <cstddef>
#include <cstdint>
#include <span>

#include <glib.h>

#include "spreadsheet/codec/reader.h"

namespace {

// libgsf reports damaged containers through g_log criticals; they are
// expected here and would only flood the fuzzer's output.
void Silence(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = (g_log_set_default_handler(Silence, nullptr), true);
    (void)quiet;
    try {
        const scrivane::codec::Workbook book =
            scrivane::codec::ReadWorkbookBytes(std::span<const std::uint8_t>(data, size));
        // A workbook that reads must be consistent.
        if (book.activeSheet < 0 || book.activeSheet >= static_cast<int>(book.sheets.size()))
            __builtin_trap();
    } catch (const scrivane::codec::WorkbookError&) {
    }
    return 0;
}
