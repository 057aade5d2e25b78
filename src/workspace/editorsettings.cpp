#include "workspace/editorsettings.h"

#include <QDir>
#include <filesystem>

#include "core/prompts.h"

namespace scrivane {

std::unique_ptr<QSettings> EditorSettings::Open() {
    if (file_.isEmpty()) return nullptr;
    namespace fs = std::filesystem;
    std::error_code ec;
    // Looked at without opening it: a missing file is made at the first write.
    const fs::path path = file_.toStdString();
    const fs::file_status status = fs::status(path, ec);
    QString refusal;
    if (status.type() == fs::file_type::not_found) {
    } else if (!fs::is_regular_file(status)) {
        refusal = QStringLiteral("is not a regular file");
    } else if (const auto size = fs::file_size(path, ec); ec || size > std::uintmax_t(kMaxSize)) {
        refusal = QStringLiteral("is larger than %1 KiB").arg(kMaxSize / 1024);
    }
    if (refusal.isEmpty()) return std::make_unique<QSettings>(file_, QSettings::IniFormat);
    if (!told_ && prompts_) {
        told_ = true;
        ShowMessage(*prompts_,
                    QStringLiteral("The settings file %1 %2; it is neither read nor changed, and "
                                   "the recent papers and other settings hold until the program "
                                   "ends.")
                        .arg(QDir::toNativeSeparators(file_), refusal));
    }
    return nullptr;
}

}  // namespace scrivane
