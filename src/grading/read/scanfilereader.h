// The pages of scan files (PDF, PNG, JPEG, TIFF), decoded one at a time and
// refused when damaged or too large. Qt Gui only.
#pragma once

#include <QImage>
#include <QString>
#include <memory>

namespace scrivane {

// One page of a scan file, decoded.
struct ScanImage {
    QImage image;    // as decoded (any format)
    double dpi = 0;  // the image's resolution, or the one it was rendered at
    QString error;   // why the page could not be decoded; empty when it was
};

// Opens scan files (PDF, PNG, JPEG, TIFF of any number of pages) one page at a
// time, so that a long scan never sits in memory whole. Not shared between
// threads: each reading thread has its own.
class ScanFileReader {
public:
    // fallbackDpi is used for images that carry no resolution.
    explicit ScanFileReader(double fallbackDpi = 200);
    ~ScanFileReader();
    ScanFileReader(const ScanFileReader&) = delete;
    ScanFileReader& operator=(const ScanFileReader&) = delete;

    // The file's page count; 0 with *error set when it cannot be read.
    int PageCount(const QString& file, QString* error);
    // Page from 1.
    ScanImage Page(const QString& file, int page);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace scrivane
