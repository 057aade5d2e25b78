// What a sheet's print shows against what its code says: the version squares
// and the size of the student number grid. A code copied onto another sheet,
// or a sheet of one print given another's code, reads every bubble against
// the wrong layout; a disagreement sends the sheet to review.
#pragma once

#include <QStringList>
#include <opencv2/core.hpp>

#include "print/layout/answersheet.h"

namespace scrivane {

// upright: the page turned upright, grey, at scale pixels per point of
// layout (the layout the code gives). The reasons to review the sheet for,
// none when the print agrees with the code ("the code says version B, the
// squares say A").
QStringList PrintDisagreements(const cv::Mat& upright, double scale, const SheetPageLayout& layout,
                               const SheetCode& code);

}  // namespace scrivane
