#include "grading/read/scanfiles.h"

#include <QDir>
#include <QFileInfo>

namespace scrivane {

const QStringList& ScanSuffixes() {
    static const QStringList suffixes{QStringLiteral("pdf"), QStringLiteral("png"),
                                      QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                      QStringLiteral("tif"), QStringLiteral("tiff")};
    return suffixes;
}

bool IsScanFile(const QString& path) {
    return ScanSuffixes().contains(QFileInfo(path).suffix().toLower());
}

QStringList ScanPatterns() {
    QStringList patterns;
    for (const QString& suffix : ScanSuffixes()) patterns << QStringLiteral("*.") + suffix;
    return patterns;
}

QStringList ScanFilesIn(const QString& folder) {
    QStringList files;
    const QDir dir(folder);
    for (const QFileInfo& info : dir.entryInfoList(ScanPatterns(), QDir::Files | QDir::Readable,
                                                   QDir::Name | QDir::IgnoreCase))
        files << info.filePath();
    return files;
}

}  // namespace scrivane
