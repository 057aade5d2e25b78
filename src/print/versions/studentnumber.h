// The student number grid of the answer sheet: the digits it has unless the
// teacher chooses otherwise, and at most. Qt Core only, so that the print
// settings, their memory and the converter share them with the sheet's layout.
#pragma once

namespace scrivane {

constexpr int kDefaultIdDigits = 8;
constexpr int kMaxIdDigits = 10;

}  // namespace scrivane
