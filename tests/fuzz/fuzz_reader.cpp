// Feeds arbitrary bytes to the workbook reader, whole and as an import reads
// it: anything but a Workbook or a WorkbookError (a crash, a sanitizer
// report, a hang, runaway memory) is a bug.
#include <cstddef>
#include <cstdint>
#include <span>

#include "spreadsheet/codec/reader.h"

namespace {

void ReadChecked(std::span<const std::uint8_t> bytes, const scrivane::codec::ReadScope& scope) {
    try {
        const scrivane::codec::Workbook book = scrivane::codec::ReadWorkbookBytes(bytes, scope);
        // A workbook that reads must be consistent.
        if (book.activeSheet < 0 || book.activeSheet >= static_cast<int>(book.sheets.size()))
            __builtin_trap();
    } catch (const scrivane::codec::WorkbookError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    ReadChecked(bytes, {});
    ReadChecked(bytes, {true, 102, 10});
    return 0;
}
