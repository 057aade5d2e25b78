// A paper's identity: 16 hex digits given to a paper when it is first
// printed, kept in its file, and carried by every answer sheet printed from
// it, so that two papers whose questions print alike (two papers made by NEW)
// are still told apart when their sheets are graded.
#pragma once

#include <QString>

namespace scrivane {

// Whether text is an identity: 16 hex digits in upper case, not all zeros.
bool IsPaperIdentity(const QString& text);
// A new identity: 64 random bits.
QString NewPaperIdentity();

}  // namespace scrivane
