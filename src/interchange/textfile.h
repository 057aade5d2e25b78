// How a question file is read from disk and how the text formats (CSV, GIFT,
// Aiken, Moodle XML) are decoded: a byte-order mark or the look of UTF-16
// first, then UTF-8, then Windows-1252, which every byte sequence is. The
// bytes stay as they are and are decoded a piece at a time, so a large file
// costs little more than its bytes.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

namespace scrivane::interchange {

// Reads an input file whole, or only its first bytes up to atMost. Only a
// regular file is read: a folder, a pipe or a device is refused without being
// waited on, as is a file larger than the 64 MiB that any input may be.
// Nothing and the reason when it cannot be read.
std::optional<QByteArray> ReadInputFile(const QString& path, QString* reason,
                                        qsizetype atMost = -1);

enum class TextEncoding { Utf8, Utf16LE, Utf16BE, Windows1252 };

// A text file's bytes with the encoding they are read in. The bytes must
// outlive it.
class EncodedText {
public:
    explicit EncodedText(QByteArrayView content);
    // Content whose encoding is known beforehand.
    EncodedText(QByteArrayView content, TextEncoding encoding);

    TextEncoding Encoding() const { return encoding_; }
    // UTF-16 with a broken surrogate pair or an odd length cannot be read
    // without losing characters.
    bool Readable() const { return readable_; }
    // Why a text that is not Readable is refused.
    QString UnreadableReason() const;
    // What the import says when it fell back from UTF-8; empty otherwise.
    QString FallbackNote() const;

    // The text as code units after any byte-order mark: bytes for UTF-8 and
    // Windows-1252 (all below 0x80 are ASCII in both), 16-bit units for UTF-16.
    qsizetype Units() const { return units_; }
    char16_t At(qsizetype i) const {
        switch (encoding_) {
            case TextEncoding::Utf16LE:
                return char16_t(uchar(bytes_[2 * i]) | uchar(bytes_[2 * i + 1]) << 8);
            case TextEncoding::Utf16BE:
                return char16_t(uchar(bytes_[2 * i]) << 8 | uchar(bytes_[2 * i + 1]));
            default:
                return uchar(bytes_[i]);
        }
    }
    // Decodes units [from, to) into out, replacing what it held.
    void Decode(qsizetype from, qsizetype to, QString& out) const;
    // The whole text as UTF-8 (for the XML reader, which reads UTF-8 only).
    QByteArray ToUtf8() const;
    // The bytes after any byte-order mark, as they are.
    QByteArrayView Bytes() const { return bytes_; }

private:
    QByteArrayView bytes_;
    TextEncoding encoding_ = TextEncoding::Utf8;
    qsizetype units_ = 0;
    bool readable_ = true;
};

// The text's lines one piece at a time, each at most maxUnits code units: a
// longer line comes in several pieces, so that a reader can refuse it (or,
// as CSV does, go on) without ever holding it whole.
class TextLines {
public:
    // Lines of blanks alone are passed over when skipBlank is set; the line
    // after them tells that some were (BlankBefore). Comment lines ("//"),
    // but for a GIFT "// Mark:", are passed over when skipComments is set.
    TextLines(const EncodedText& text, qsizetype maxUnits, bool skipBlank = false,
              bool skipComments = false);

    // The next piece, false at the end of the text.
    bool Next(QString& piece);
    // Whether the piece last returned ends its line (or the text), and the
    // line end it ended with: "\r\n", "\n", "\r", or "" at the end of the text.
    bool LineEnded() const { return ended_; }
    QStringView LineEnd() const { return end_; }
    // The line the last piece belongs to, from 1.
    int LineNumber() const { return line_; }
    // Whether lines of blanks were passed over just before this line, or at
    // the end of the text when Next has returned false.
    bool BlankBefore() const { return blankBefore_; }

private:
    const EncodedText& text_;
    qsizetype maxUnits_;
    bool skipBlank_, skipComments_;
    qsizetype pos_ = 0;
    int line_ = 0;
    bool ended_ = true, blankBefore_ = false;
    QStringView end_;
};

}  // namespace scrivane::interchange
