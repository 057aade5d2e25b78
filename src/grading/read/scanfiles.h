// Which files are scans: the name endings read (PDF, PNG, JPEG, TIFF), as
// patterns for a file dialog, and the scans of a folder dropped or chosen.
#pragma once

#include <QString>
#include <QStringList>

namespace scrivane {

// The name endings of the scans read, in lower case.
const QStringList& ScanSuffixes();
// The same as file name patterns: "*.pdf", "*.png", ...
QStringList ScanPatterns();
// A file whose name ends as a scan's, in any case.
bool IsScanFile(const QString& path);
// The scan files in a folder, sorted by name, for a folder dropped on the window.
QStringList ScanFilesIn(const QString& folder);

}  // namespace scrivane
