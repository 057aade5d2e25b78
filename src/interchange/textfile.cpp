#include "interchange/textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QStringDecoder>
#include <QSysInfo>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "interchange/questions.h"

namespace scrivane::interchange {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

QString SystemReason(int error) {
    return QString::fromStdString(std::generic_category().message(error));
}

// Windows-1252 differs from Latin-1 in 0x80 to 0x9F only; its five unused
// bytes there stay the control characters Latin-1 has.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr TextEncoding kNativeUtf16 =
    QSysInfo::ByteOrder == QSysInfo::LittleEndian ? TextEncoding::Utf16LE : TextEncoding::Utf16BE;

bool IsUtf8(QByteArrayView bytes) {
    // Decoded in slices cut between characters, into one small buffer.
    constexpr qsizetype kSlice = 1 << 16;
    // A byte-order mark after the first one is part of the text.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString scratch(kSlice, Qt::Uninitialized);
    for (qsizetype at = 0; at < bytes.size();) {
        qsizetype end = std::min(bytes.size(), at + kSlice);
        if (end < bytes.size()) {
            // Back to the start of a character: at most three continuation bytes.
            qsizetype cut = end;
            while (cut > end - 3 && (uchar(bytes[cut]) & 0xC0) == 0x80) --cut;
            end = cut;
        }
        decoder.appendToBuffer(scratch.data(), bytes.sliced(at, end - at));
        if (decoder.hasError()) return false;
        at = end;
    }
    return true;
}

// UTF-16 without a byte-order mark, as some Windows programs write it: text
// in which ASCII characters (the format's own marks, blanks and line ends)
// stand as a byte and a zero. Text in any 8-bit encoding holds no zero bytes.
std::optional<TextEncoding> LooksLikeUtf16(QByteArrayView bytes) {
    const qsizetype pairs = std::min<qsizetype>(bytes.size(), 4096) / 2;
    if (pairs == 0) return std::nullopt;
    qsizetype asciiLE = 0, asciiBE = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        const uchar first = uchar(bytes[2 * i]), second = uchar(bytes[2 * i + 1]);
        asciiLE += second == 0 && first != 0 && first < 0x80;
        asciiBE += first == 0 && second != 0 && second < 0x80;
    }
    if (asciiLE * 16 >= pairs && asciiLE > 4 * asciiBE) return TextEncoding::Utf16LE;
    if (asciiBE * 16 >= pairs && asciiBE > 4 * asciiLE) return TextEncoding::Utf16BE;
    return std::nullopt;
}

}  // namespace

std::optional<QByteArray> ReadInputFile(const QString& path, QString* reason, qsizetype atMost) {
    // O_NONBLOCK: a pipe or a device in the file's place is refused, not waited on.
    const Descriptor fd(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        const int error = errno;
        *reason = error == ENOENT ? QStringLiteral("no such file") : SystemReason(error);
        return std::nullopt;
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) {
        *reason = SystemReason(errno);
        return std::nullopt;
    }
    if (!S_ISREG(st.st_mode)) {
        *reason = QStringLiteral("not a file");
        return std::nullopt;
    }
    const auto tooLarge = [reason] {
        *reason = QStringLiteral("the file is too large");
        return std::nullopt;
    };
    if (st.st_size > kMaxFileBytes) return tooLarge();
    // One byte more than the limit tells a file that grew while it was read.
    const qsizetype wanted = atMost >= 0 ? std::min<qsizetype>(atMost, st.st_size) : st.st_size;
    QByteArray content(wanted + 1, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n =
            ::read(fd.get(), content.data() + done, std::size_t(content.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *reason = SystemReason(errno);
            return std::nullopt;
        }
        if (n == 0) break;
        done += n;
        if (done > kMaxFileBytes) return tooLarge();
        if (atMost >= 0 && done >= atMost) break;
        if (done == content.size() && content.size() <= kMaxFileBytes)
            content.resize(std::min<qsizetype>(content.size() * 2, kMaxFileBytes + 1));
    }
    content.truncate(atMost >= 0 ? std::min(done, atMost) : done);
    content.squeeze();
    return content;
}

EncodedText::EncodedText(QByteArrayView content) : bytes_(content) {
    if (bytes_.startsWith("\xEF\xBB\xBF")) {
        bytes_ = bytes_.sliced(3);
        readable_ = IsUtf8(bytes_);  // the mark says UTF-8: no other reading
    } else if (bytes_.startsWith("\xFF\xFE")) {
        bytes_ = bytes_.sliced(2);
        encoding_ = TextEncoding::Utf16LE;
    } else if (bytes_.startsWith("\xFE\xFF")) {
        bytes_ = bytes_.sliced(2);
        encoding_ = TextEncoding::Utf16BE;
    } else if (const auto utf16 = LooksLikeUtf16(bytes_)) {
        encoding_ = *utf16;
    } else if (!IsUtf8(bytes_)) {
        encoding_ = TextEncoding::Windows1252;
    }
    if (encoding_ == TextEncoding::Utf16LE || encoding_ == TextEncoding::Utf16BE) {
        units_ = bytes_.size() / 2;
        readable_ = bytes_.size() % 2 == 0;
        for (qsizetype i = 0; i < units_ && readable_; ++i) {
            const char16_t u = At(i);
            if (QChar::isHighSurrogate(u)) {
                readable_ = i + 1 < units_ && QChar::isLowSurrogate(At(i + 1));
                ++i;
            } else if (QChar::isLowSurrogate(u)) {
                readable_ = false;
            }
        }
    } else {
        units_ = bytes_.size();
    }
}

EncodedText::EncodedText(QByteArrayView content, TextEncoding encoding)
    : bytes_(content), encoding_(encoding), units_(content.size()) {
    if (encoding == TextEncoding::Utf16LE || encoding == TextEncoding::Utf16BE)
        *this = EncodedText(content);
}

QString EncodedText::UnreadableReason() const {
    return encoding_ == TextEncoding::Utf8 ? QStringLiteral("the file is not UTF-8 text")
                                           : QStringLiteral("the file is not UTF-16 text");
}

QString EncodedText::FallbackNote() const {
    return encoding_ == TextEncoding::Windows1252 ? QStringLiteral("read as Windows-1252")
                                                  : QString();
}

void EncodedText::Decode(qsizetype from, qsizetype to, QString& out) const {
    const qsizetype n = to - from;
    switch (encoding_) {
        case TextEncoding::Utf8: {
            out.resize(n);  // never more units than bytes
            // Most lines are ASCII: widened as they are, without a decoder.
            char16_t* data = reinterpret_cast<char16_t*>(out.data());
            const uchar* bytes = reinterpret_cast<const uchar*>(bytes_.data()) + from;
            uchar any = 0;
            for (qsizetype i = 0; i < n; ++i) any |= bytes[i];
            if (any < 0x80) {
                for (qsizetype i = 0; i < n; ++i) data[i] = bytes[i];
                return;
            }
            // A byte-order mark after the first one is part of the text.
            QStringDecoder decoder(
                QStringDecoder::Utf8,
                QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
            const QChar* end = decoder.appendToBuffer(out.data(), bytes_.sliced(from, n));
            out.truncate(end - out.constData());
            return;
        }
        case TextEncoding::Windows1252: {
            out.resize(n);
            char16_t* data = reinterpret_cast<char16_t*>(out.data());
            for (qsizetype i = 0; i < n; ++i) {
                const uchar b = uchar(bytes_[from + i]);
                data[i] = b >= 0x80 && b < 0xA0 ? kWindows1252High[b - 0x80] : char16_t(b);
            }
            return;
        }
        default: {
            out.resize(n);
            char16_t* data = reinterpret_cast<char16_t*>(out.data());
            if (encoding_ == kNativeUtf16) {
                std::memcpy(data, bytes_.data() + 2 * from, std::size_t(2 * n));
                return;
            }
            for (qsizetype i = 0; i < n; ++i) data[i] = At(from + i);
            return;
        }
    }
}

QByteArray EncodedText::ToUtf8() const {
    if (encoding_ == TextEncoding::Utf8) return bytes_.toByteArray();
    QByteArray out;
    out.reserve(units_);
    QString slice;
    constexpr qsizetype kSlice = 1 << 16;
    for (qsizetype at = 0; at < units_;) {
        qsizetype end = std::min(units_, at + kSlice);
        if (end < units_ && QChar::isLowSurrogate(At(end))) --end;  // keep a pair whole
        Decode(at, end, slice);
        out += slice.toUtf8();
        at = end;
    }
    return out;
}

TextLines::TextLines(const EncodedText& text, qsizetype maxUnits, bool skipBlank, bool skipComments)
    : text_(text),
      maxUnits_(std::max<qsizetype>(maxUnits, 4)),
      skipBlank_(skipBlank),
      skipComments_(skipComments) {}

bool TextLines::Next(QString& piece) {
    const qsizetype n = text_.Units();
    if (ended_) blankBefore_ = false;
    if (ended_ && (skipBlank_ || skipComments_)) {
        // Blank lines and comments are passed over before anything is decoded.
        const auto blank = [this, n](qsizetype k) {
            while (k < n && (text_.At(k) == u' ' || text_.At(k) == u'\t')) ++k;
            return k;
        };
        const auto lineEnd = [this, n](qsizetype k) {
            while (k < n && text_.At(k) != u'\n' && text_.At(k) != u'\r') ++k;
            return k;
        };
        while (pos_ < n) {
            qsizetype j = blank(pos_);
            const bool empty = j == n || text_.At(j) == u'\n' || text_.At(j) == u'\r';
            if (empty && skipBlank_) {
                blankBefore_ = true;
            } else if (skipComments_ && j + 1 < n && text_.At(j) == u'/' &&
                       text_.At(j + 1) == u'/') {
                const qsizetype k = blank(j + 2);
                static constexpr char16_t kMark[] = u"Mark:";
                bool mark = k + 5 <= n;
                for (int c = 0; c < 5 && mark; ++c) mark = text_.At(k + c) == kMark[c];
                if (mark) break;
                j = lineEnd(k);
            } else {
                break;
            }
            ++line_;
            pos_ = j < n && text_.At(j) == u'\r' && j + 1 < n && text_.At(j + 1) == u'\n' ? j + 2
                                                                                          : j + 1;
        }
    }
    if (pos_ >= n && (ended_ || pos_ > n)) {
        // A text that ends with a line end has no empty line after it.
        return false;
    }
    if (ended_) ++line_;
    const qsizetype start = pos_;
    const qsizetype limit = std::min(n, start + maxUnits_);
    qsizetype i = start;
    if (text_.Encoding() == TextEncoding::Utf8 || text_.Encoding() == TextEncoding::Windows1252) {
        const char* bytes = text_.Bytes().data();
        const void* newline = std::memchr(bytes + start, '\n', std::size_t(limit - start));
        i = newline ? static_cast<const char*>(newline) - bytes : limit;
        if (const void* ret = std::memchr(bytes + start, '\r', std::size_t(i - start)))
            i = static_cast<const char*>(ret) - bytes;
    } else if (text_.Encoding() == kNativeUtf16 &&
               reinterpret_cast<quintptr>(text_.Bytes().data()) % 2 == 0) {
        // The units as they lie in memory, searched as a string is.
        const QStringView units =
            QStringView(reinterpret_cast<const QChar*>(text_.Bytes().data()), n)
                .sliced(start, limit - start);
        const qsizetype newline = units.indexOf(u'\n');
        const qsizetype ret = units.first(newline >= 0 ? newline : units.size()).indexOf(u'\r');
        i = start + (ret >= 0 ? ret : newline >= 0 ? newline : units.size());
    } else {
        while (i < limit) {
            const char16_t u = text_.At(i);
            if (u == u'\n' || u == u'\r') break;
            ++i;
        }
    }
    if (i == limit && limit < n) {
        // A piece of a longer line, cut between characters.
        if (text_.Encoding() == TextEncoding::Utf8) {
            qsizetype cut = i;
            while (cut > start + 1 && (text_.At(cut) & 0xC0) == 0x80) --cut;
            i = cut;
        } else if (text_.Encoding() != TextEncoding::Windows1252 &&
                   QChar::isLowSurrogate(text_.At(i)) && i > start + 1) {
            --i;
        }
        text_.Decode(start, i, piece);
        pos_ = i;
        ended_ = false;
        end_ = {};
        return true;
    }
    text_.Decode(start, i, piece);
    ended_ = true;
    if (i >= n) {
        end_ = {};
        pos_ = n + 1;  // the last line has been given
        return true;
    }
    if (text_.At(i) == u'\r' && i + 1 < n && text_.At(i + 1) == u'\n') {
        end_ = u"\r\n";
        pos_ = i + 2;
    } else {
        end_ = text_.At(i) == u'\r' ? QStringView(u"\r") : QStringView(u"\n");
        pos_ = i + 1;
    }
    return true;
}

}  // namespace scrivane::interchange
