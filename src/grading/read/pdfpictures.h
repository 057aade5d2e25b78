// The pictures of a PDF's pages, found before any page is rendered: a picture
// of hundreds of millions of pixels in a small file would cost gigabytes to
// draw, so a page that holds one is refused from what its file says.
#pragma once

#include <QString>
#include <vector>

namespace scrivane {

class PdfPictures {
public:
    // Looks through the file's objects for pictures larger than maxPixels
    // (or maxSide on a side) and which of its pageCount pages draw them.
    // The file is mapped, not read into memory.
    static PdfPictures Scan(const QString& file, int pageCount, qint64 maxPixels, int maxSide);

    // Page from 1: whether it holds a picture too large to read. When the
    // file holds one but its pages cannot be told apart (their objects are
    // compressed), every page is taken to hold it.
    bool TooLarge(int page) const;

private:
    bool anyTooLarge_ = false;
    bool pagesKnown_ = false;
    std::vector<bool> pages_;  // by page from 0, when known
};

}  // namespace scrivane
