#include "grading/batch/scanpages.h"

namespace scrivane {

namespace {

class ScanPageSource : public PageSource {
public:
    ScanPageSource(const SheetReader& sheets, double fallbackDpi)
        : sheets_(sheets), files_(fallbackDpi) {}

    int PageCount(const QString& file, QString* error) override {
        return files_.PageCount(file, error);
    }

    PageRead Read(const QString& file, int page,
                  const std::optional<SheetCode>& printedWith) override {
        const ScanImage image = files_.Page(file, page);
        if (!image.error.isEmpty() || image.image.isNull()) {
            PageRead read;
            read.status = PageRead::Status::Unreadable;
            read.reasons << (image.error.isEmpty() ? QStringLiteral("the page could not be decoded")
                                                   : image.error);
            return read;
        }
        return sheets_.Read(image, printedWith);
    }

private:
    const SheetReader& sheets_;
    ScanFileReader files_;
};

}  // namespace

PageSourceFactory ScanPageSources(const SheetReader& sheets, double fallbackDpi) {
    return [&sheets, fallbackDpi] { return std::make_unique<ScanPageSource>(sheets, fallbackDpi); };
}

PageSourceFactory ScanPageSources(std::shared_ptr<const SheetReader> sheets, double fallbackDpi) {
    return [sheets = std::move(sheets), fallbackDpi]() -> std::unique_ptr<PageSource> {
        // Each source keeps the reader alive as long as it reads.
        struct Owning : ScanPageSource {
            Owning(std::shared_ptr<const SheetReader> owned, double dpi)
                : ScanPageSource(*owned, dpi), owned_(std::move(owned)) {}
            std::shared_ptr<const SheetReader> owned_;
        };
        return std::make_unique<Owning>(sheets, fallbackDpi);
    };
}

}  // namespace scrivane
