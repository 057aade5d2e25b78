// A hostile scan: a PDF whose small pages draw pictures of hundreds of
// millions of pixels, for the tests and the benchmark of the PDF picture limit.
#pragma once

#include <QByteArray>
#include <vector>

namespace scrivane::scangen {

// One page of the PDF: the side of the square grey picture it draws (a JPEG
// of that many pixels a side, all one shade, a few megabytes), drawn through
// a form of its own when nested.
struct PicturePage {
    int side = 100;
    bool nested = false;
};

QByteArray HugePicturePdf(const std::vector<PicturePage>& pages);

}  // namespace scrivane::scangen
