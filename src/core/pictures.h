// Pictures in a question: each belongs to one box of the question (its title
// or one of its options A to F) and is kept as the bytes of its file, so
// that it comes back from every format exactly as it went in.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>

namespace scrivane {

struct Picture {
    QByteArray Data;  // the file's bytes
    QString Format;   // "png", "jpeg" or "svg" (a GIF comes in as its first frame, in PNG)
    QString Name;     // the name it came with ("map.png"), or empty

    bool operator==(const Picture&) const = default;
};

// The boxes of a question that hold pictures: its title, then options A to F.
inline constexpr int kPictureTitle = 0;
inline constexpr int kPictureBoxes = 7;
constexpr int PictureBoxOfItem(int item) { return 1 + item; }  // item: 0 for A

using QuestionPictures = std::array<QList<Picture>, kPictureBoxes>;

inline bool HasPictures(const QuestionPictures& pictures) {
    for (const auto& box : pictures)
        if (!box.isEmpty()) return true;
    return false;
}

}  // namespace scrivane
