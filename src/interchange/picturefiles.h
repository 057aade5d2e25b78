// A question's pictures as the interchange formats carry them: each with a
// safe file name of its own within the question, known by its content, and,
// for the formats that hold text only, a stand-in for a box that was only a
// picture and a note naming every picture left out.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <vector>

#include "core/pictures.h"
#include "core/questionrecord.h"

namespace scrivane::interchange {

// "png", "jpeg" or "svg" by the bytes themselves, "gif" for a GIF, which a
// paper keeps only as PNG, else empty.
QString PictureFormatOf(QByteArrayView bytes);

// A name that is only a name: no folders (the last part of "../../x.png"),
// no control characters, quotes or characters that file systems refuse, and
// an extension that fits the format; "picture.png" when nothing is left.
QString SafePictureName(const QString& name, const QString& format);

// The names a question's pictures are written under, box by box (title, then
// options A to F) and in order within a box: each safe and unique within the
// question ("map.png", "map-2.png").
std::vector<QStringList> WrittenPictureNames(const QuestionPictures& pictures);

// What an option or a title that is only a picture reads as where pictures
// cannot go, as an import from such a format has always read it.
inline const QString kPictureStandIn = QStringLiteral("[picture]");

// The questions as a text-only format writes them: without pictures, and with
// kPictureStandIn in a title or option that held only pictures, so that the
// option and its credit stay.
std::vector<QuestionRecord> TextOnly(const std::vector<QuestionRecord>& questions);

// One note for each question whose pictures a text-only format leaves out,
// naming each picture and its box: "question 2: GIFT does not carry pictures:
// map.png (the question), graph.svg (option B) are left out".
QStringList PicturesLeftOut(const std::vector<QuestionRecord>& questions,
                            const QString& formatName);

}  // namespace scrivane::interchange
