// The batch's pages from scan files, read against one paper.
#pragma once

#include <memory>

#include "grading/batch/batch.h"

namespace scrivane {

// One ScanFileReader for each thread; sheets is shared and must outlive the
// batch. fallbackDpi for images that carry no resolution.
PageSourceFactory ScanPageSources(const SheetReader& sheets, double fallbackDpi);
// The same with the reader owned by the sources, for a batch that may
// outlive whoever started it.
PageSourceFactory ScanPageSources(std::shared_ptr<const SheetReader> sheets, double fallbackDpi);

}  // namespace scrivane
