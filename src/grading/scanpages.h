// The batch's pages from scan files, read against one paper.
#pragma once

#include "grading/batch.h"

namespace scrivane {

// One ScanFileReader for each thread; sheets is shared and must outlive the
// batch. fallbackDpi for images that carry no resolution.
PageSourceFactory ScanPageSources(const SheetReader& sheets, double fallbackDpi);

}  // namespace scrivane
