// Feeds arbitrary bytes to the readers of the question formats (CSV, Moodle
// XML, GIFT, Aiken): anything but a paper or a refusal with its reason (a
// crash, a sanitizer report, a hang, runaway memory) is a bug.
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "interchange/questionfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace scrivane::interchange;
    const QByteArray content = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                       qsizetype(size));
    for (const Format format : {Format::Csv, Format::Moodle, Format::Gift, Format::Aiken}) {
        const ReadOutcome read = ReadQuestionContent(content, format, 10);
        // A paper that reads is one a paper can hold, and a refusal says why.
        if (read.Read() && (read.rows.empty() || read.rows.size() > 100)) __builtin_trap();
        if (!read.Read() && (read.reason.isEmpty() || !read.rows.empty())) __builtin_trap();
    }
    (void)DetectFormat(content);
    return 0;
}
