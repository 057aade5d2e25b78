#include <fcntl.h>
#include <poppler-qt6.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include "grading/read/pdfpictures.h"
#include "grading/read/scanfilereader.h"

namespace scrivane {

namespace {

// A scanned page is at most a few sheets' worth of pixels at 600 dpi; a larger
// image is refused before it is decoded, so a hostile file costs nothing.
constexpr qint64 kMaxPagePixels = 80'000'000;
constexpr int kMaxPageSide = 16'000;
// PDF pages are rendered at this resolution, lowered for pages so large that
// it would pass the pixel limit.
constexpr double kPdfDpi = 200;
// Larger images are decoded scaled down to this long side (a JPEG decodes
// straight to it): reading needs no more than about 300 dpi.
constexpr int kMaxDecodedSide = 3600;

bool IsPdf(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    // The header may follow a little junk, as readers allow.
    return f.read(1024).contains("%PDF-");
}

// Resolutions outside what scanners and cameras write mean the file carries
// none (72 and 96 are the defaults of tools that do not know).
double ImageDpi(const QImage& image, double fallback) {
    // Stored as dots per metre, which turns 150 dpi into 149.99.
    const double dpi = std::round(image.dotsPerMeterX() * 0.0254);
    if (dpi < 100 || dpi > 2400) return fallback;
    return dpi;
}

// Why a scan cannot be opened, or empty when it is a regular file that can be
// read. It is opened without waiting (a pipe or a device in a scan's place
// would block an open for ever) and looked at before any reader opens it.
QString ScanFileProblem(const QString& name) {
    const int fd =
        ::open(QFile::encodeName(name).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return QStringLiteral("the file does not exist");
        if (error == EACCES || error == EPERM)
            return QStringLiteral("the file cannot be read: permission denied");
        if (error == ELOOP)
            return QStringLiteral("the file cannot be read: its links lead round in a loop");
        return QStringLiteral("the file cannot be read: %1")
            .arg(QString::fromLocal8Bit(std::strerror(error)).toLower());
    }
    struct stat st {};
    const bool known = ::fstat(fd, &st) == 0;
    const int error = errno;
    ::close(fd);
    if (!known)
        return QStringLiteral("the file cannot be read: %1")
            .arg(QString::fromLocal8Bit(std::strerror(error)).toLower());
    if (S_ISDIR(st.st_mode)) return QStringLiteral("the file is a folder");
    if (!S_ISREG(st.st_mode)) return QStringLiteral("the file is a pipe or a device, not a file");
    return {};
}

// A JPEG cut short decodes without complaint, the rest grey; its
// end-of-image marker tells a whole one. Some cameras write a little after it.
bool IsCutShortJpeg(QFile& file) {
    const qint64 size = file.size();
    if (!file.seek(0) || file.read(3) != QByteArray("\xFF\xD8\xFF", 3)) return false;
    const qint64 tail = std::min<qint64>(size, 4096);
    if (!file.seek(size - tail)) return false;
    return !file.read(tail).contains(QByteArray("\xFF\xD9", 2));
}

// A picture with a transparent background is a page on white paper.
QImage FlattenedOnWhite(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QImage grey(argb.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* out = grey.scanLine(y);
        for (int x = 0; x < argb.width(); ++x) {
            const int alpha = qAlpha(in[x]);
            out[x] = uchar((qGray(in[x]) * alpha + 255 * (255 - alpha) + 127) / 255);
        }
    }
    grey.setDotsPerMeterX(image.dotsPerMeterX());
    grey.setDotsPerMeterY(image.dotsPerMeterY());
    return grey;
}

QString TooLarge(QSize size) {
    return QStringLiteral("the image is too large to be a scanned page (%1 × %2 pixels)")
        .arg(size.width())
        .arg(size.height());
}

// An image within the pixel limits whose colour depth (16 bits a channel)
// would still take more than a decoder may allocate is refused from its
// header for what it is, not decoded and called damaged.
QString TooDeep(QSize size, QImage::Format format) {
    if (!size.isValid() || format == QImage::Format_Invalid) return {};
    const qint64 bytes =
        qint64(size.width()) * size.height() * QImage::toPixelFormat(format).bitsPerPixel() / 8;
    const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
    if (limit <= 0 || bytes <= limit) return {};
    return QStringLiteral(
               "the image is too large to read at its colour depth (%1 × %2 pixels, "
               "%3 bits a pixel)")
        .arg(size.width())
        .arg(size.height())
        .arg(QImage::toPixelFormat(format).bitsPerPixel());
}

}  // namespace

struct ScanFileReader::Impl {
    double fallbackDpi = 200;
    // The file last opened, kept open while its pages are read in turn.
    QString file;
    bool pdf = false;
    QString openError;
    std::unique_ptr<Poppler::Document> document;
    std::unique_ptr<QImageReader> reader;
    int pages = 0;
    bool readerFresh = false;  // the reader has read nothing since the file was opened
    // A JPEG whose end is missing.
    bool cutShort = false;
    // The PDF's pictures too large to draw, and the pages that hold them.
    PdfPictures pictures;

    void Open(const QString& name) {
        if (name == file) return;
        file = name;
        document.reset();
        reader.reset();
        openError.clear();
        pages = 0;
        readerFresh = false;
        cutShort = false;
        pictures = {};
        openError = ScanFileProblem(name);
        if (!openError.isEmpty()) return;
        pdf = IsPdf(name);
        if (pdf) {
            document = Poppler::Document::load(name);
            if (!document) {
                openError = QStringLiteral("the PDF is damaged and could not be read");
                return;
            }
            if (document->isLocked()) {
                document.reset();
                openError = QStringLiteral("the PDF is protected by a password");
                return;
            }
            document->setRenderHint(Poppler::Document::Antialiasing, true);
            document->setRenderHint(Poppler::Document::TextAntialiasing, true);
            pages = document->numPages();
            if (pages <= 0) {
                document.reset();
                openError = QStringLiteral("the PDF has no pages");
            }
            pictures = PdfPictures::Scan(name, pages, kMaxPagePixels, kMaxPageSide);
            return;
        }
        {
            QFile bytes(name);
            cutShort = bytes.open(QIODevice::ReadOnly) && IsCutShortJpeg(bytes);
        }
        reader = std::make_unique<QImageReader>(name);
        reader->setAutoTransform(true);
        if (!reader->canRead()) {
            reader.reset();
            openError = QStringLiteral("the file is neither a PDF nor an image that can be read");
            return;
        }
        pages = std::max(1, reader->imageCount());
        readerFresh = true;
    }

    ScanImage PdfPage(int page) {
        ScanImage out;
        // Drawing a picture costs its whole size, whatever the page's: one
        // beyond an image file's limits is refused before rendering.
        if (pictures.TooLarge(page)) {
            out.error = QStringLiteral("the page holds a picture too large to read");
            return out;
        }
        std::unique_ptr<Poppler::Page> p = document->page(page - 1);
        if (!p) {
            out.error = QStringLiteral("page %1 of the PDF is damaged").arg(page);
            return out;
        }
        const QSizeF points = p->pageSizeF();
        if (!(points.width() > 1 && points.height() > 1)) {
            out.error = QStringLiteral("page %1 of the PDF has no size").arg(page);
            return out;
        }
        double dpi = kPdfDpi;
        const double pixels = points.width() * points.height() * (dpi / 72) * (dpi / 72);
        if (pixels > kMaxPagePixels / 4) dpi *= std::sqrt(kMaxPagePixels / 4 / pixels);
        dpi = std::min(dpi, kMaxPageSide * 72 / std::max(points.width(), points.height()));
        QImage image = p->renderToImage(dpi, dpi);
        if (image.isNull()) {
            out.error = QStringLiteral("page %1 of the PDF could not be rendered").arg(page);
            return out;
        }
        out.image = image.convertToFormat(QImage::Format_Grayscale8);
        out.dpi = dpi;
        return out;
    }

    ScanImage ImagePage(int page) {
        ScanImage out;
        // Each page gets a reader of its own, sent to the page by its number:
        // whether a reader steps on after an image differs between formats
        // (Qt's TIFF reader stays on the image it read), and a page taken for
        // the one after it gives one student's sheet twice and loses the next.
        if (!readerFresh || !reader) {
            reader = std::make_unique<QImageReader>(file);
            reader->setAutoTransform(true);
        }
        readerFresh = false;
        if (page > 1 &&
            (!reader->jumpToImage(page - 1) || reader->currentImageNumber() != page - 1)) {
            out.error = QStringLiteral("page %1 of the image could not be found").arg(page);
            return out;
        }
        const QSize size = reader->size();
        if (size.isValid() && (qint64(size.width()) * size.height() > kMaxPagePixels ||
                               size.width() > kMaxPageSide || size.height() > kMaxPageSide)) {
            out.error = TooLarge(size);
            return out;
        }
        if (const QString deep = TooDeep(size, reader->imageFormat()); !deep.isEmpty()) {
            out.error = deep;
            return out;
        }
        double scaled = 1;
        if (size.isValid() && std::max(size.width(), size.height()) > kMaxDecodedSide) {
            scaled = double(kMaxDecodedSide) / std::max(size.width(), size.height());
            reader->setScaledSize(QSize(std::max(1, int(size.width() * scaled)),
                                        std::max(1, int(size.height() * scaled))));
        } else {
            reader->setScaledSize(QSize());
        }
        QImage image;
        if (!reader->read(&image) || image.isNull()) {
            out.error =
                reader->error() == QImageReader::InvalidDataError ||
                        reader->error() == QImageReader::UnknownError
                    ? QStringLiteral("the image is damaged: %1").arg(reader->errorString())
                    : QStringLiteral("the image could not be read: %1").arg(reader->errorString());
            if (!size.isValid() || size.isEmpty()) return out;
            const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
            if (limit > 0 && qint64(size.width()) * size.height() * 4 > limit)
                out.error = TooLarge(size);
            return out;
        }
        if (cutShort) {
            out.error =
                QStringLiteral("the image is damaged: the file ends before the picture does");
            return out;
        }
        if (qint64(image.width()) * image.height() > kMaxPagePixels) {
            out.error = TooLarge(image.size());
            return out;
        }
        out.dpi = ImageDpi(image, fallbackDpi) * scaled;
        out.image = image.format() == QImage::Format_Grayscale8 ? std::move(image)
                    : image.hasAlphaChannel()                   ? FlattenedOnWhite(image)
                                              : image.convertToFormat(QImage::Format_Grayscale8);
        return out;
    }
};

ScanFileReader::ScanFileReader(double fallbackDpi) : impl_(std::make_unique<Impl>()) {
    // A damaged PDF gets its reason through Page(); the library's own
    // complaints would only flood the converter's output.
    static std::once_flag quiet;
    // Pages are checked against their own pixel limit before decoding; Qt's
    // default limit would refuse a 600 dpi colour page.
    std::call_once(quiet, [] {
        Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant());
        QImageReader::setAllocationLimit(std::max(QImageReader::allocationLimit(), 512));
    });
    impl_->fallbackDpi = fallbackDpi > 0 ? fallbackDpi : 200;
}

ScanFileReader::~ScanFileReader() = default;

int ScanFileReader::PageCount(const QString& file, QString* error) {
    impl_->Open(file);
    if (error) *error = impl_->openError;
    return impl_->openError.isEmpty() ? impl_->pages : 0;
}

ScanImage ScanFileReader::Page(const QString& file, int page) {
    impl_->Open(file);
    if (!impl_->openError.isEmpty()) return {{}, 0, impl_->openError};
    if (page < 1 || page > impl_->pages)
        return {{}, 0, QStringLiteral("the file has no page %1").arg(page)};
    return impl_->pdf ? impl_->PdfPage(page) : impl_->ImagePage(page);
}

}  // namespace scrivane
