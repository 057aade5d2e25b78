// A printed answer sheet as a scanner sees it: one PDF page rendered at a
// resolution, optionally JPEG-compressed, and its QR code read back.
#pragma once

#include <ZXing/ReadBarcode.h>

#include <QImage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace scrivane::test {

inline bool RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Page counts from 1; jpegQuality 0 keeps the PNG. A null image when a tool fails.
inline QImage ScanPdfPage(const QString& pdf, int page, int dpi, int jpegQuality = 0) {
    QTemporaryDir dir;
    const QString stem = dir.filePath(QStringLiteral("page"));
    const QString number = QString::number(page);
    if (!RunTool(QStringLiteral("pdftoppm"),
                 {"-r", QString::number(dpi), "-gray", "-png", "-singlefile", "-f", number, "-l",
                  number, pdf, stem}))
        return {};
    if (jpegQuality == 0) return QImage(stem + ".png");
    const QString jpeg = stem + ".jpg";
    if (!RunTool(QStringLiteral("convert"),
                 {stem + ".png", "-quality", QString::number(jpegQuality), jpeg}))
        return {};
    return QImage(jpeg);
}

// The text of the QR code in picture, or nothing.
inline QByteArray ReadQr(const QImage& picture) {
    const QImage grey = picture.convertToFormat(QImage::Format_Grayscale8);
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(),
                                ZXing::ImageFormat::Lum, int(grey.bytesPerLine()));
    const ZXing::Result result =
        ZXing::ReadBarcode(view, ZXing::DecodeHints().setFormats(ZXing::BarcodeFormat::QRCode));
    if (!result.isValid()) return {};
    const ZXing::ByteArray& bytes = result.bytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

}  // namespace scrivane::test
