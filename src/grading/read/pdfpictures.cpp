#include "grading/read/pdfpictures.h"

#include <sys/mman.h>
#include <unistd.h>

#include <QByteArrayView>
#include <QFile>
#include <deque>
#include <optional>
#include <set>
#include <unordered_map>

namespace scrivane {

namespace {

// A dictionary is looked at up to this length: an object's own entries are
// a few hundred bytes; the rest of a longer one is not a picture's.
constexpr qsizetype kMaxDictionary = 1 << 20;
// The file mapped is given back to the system every so many bytes.
constexpr qsizetype kReleaseEvery = qsizetype(16) << 20;
// Where an object's "stream" or "endobj" is looked for first.
constexpr qsizetype kLookNear = 1 << 16;
// Bounds on the walk through pages and their resources, so that a hostile
// file costs little however it links its objects.
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxVisits = 100'000;

bool IsSpace(char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool IsDelimiter(char c) {
    return IsSpace(c) || c == '/' || c == '<' || c == '>' || c == '[' || c == ']' || c == '(' ||
           c == ')' || c == '%';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "12 0 R" at the start of text (after blanks): the object it refers to.
std::optional<int> RefAtStart(QByteArrayView text) {
    qsizetype i = 0;
    const auto blanks = [&] {
        while (i < text.size() && IsSpace(text[i])) ++i;
    };
    const auto digits = [&]() -> std::optional<qint64> {
        const qsizetype start = i;
        while (i < text.size() && IsDigit(text[i]) && i - start < 10) ++i;
        if (i == start) return std::nullopt;
        return text.sliced(start, i - start).toLongLong();
    };
    blanks();
    const std::optional<qint64> number = digits();
    if (!number || i >= text.size() || !IsSpace(text[i])) return std::nullopt;
    blanks();
    if (!digits() || i >= text.size() || !IsSpace(text[i])) return std::nullopt;
    blanks();
    if (i >= text.size() || text[i] != 'R' || (i + 1 < text.size() && !IsDelimiter(text[i + 1])) ||
        *number > 0x7FFFFFFF)
        return std::nullopt;
    return int(*number);
}

// The objects of a file: each one's number and its dictionary's text.
class Objects {
public:
    explicit Objects(QByteArrayView data) : data_(data) { Collect(); }

    QByteArrayView Dictionary(int number) const {
        const auto found = objects_.find(number);
        return found == objects_.end() ? QByteArrayView() : QByteArrayView(found->second);
    }
    const std::unordered_map<int, QByteArray>& All() const { return objects_; }

private:
    void Collect() {
        qsizetype nextEnd = 0;
        for (qsizetype at = data_.indexOf("obj"); at >= 0; at = data_.indexOf("obj", at + 3)) {
            if (at + 3 < data_.size() && !IsDelimiter(data_[at + 3])) continue;
            const std::optional<int> number = NumberBefore(at);
            if (!number) continue;
            const qsizetype from = at + 3;
            // Its dictionary ends at "stream" or "endobj", whichever comes first:
            // looked for near it first, so that a stream's data is never read
            // when its length is given (the file's pages stay on disk).
            const qsizetype near = std::min(data_.size(), from + kLookNear) - from;
            const qsizetype nearEnd = data_.sliced(from, near).indexOf("endobj");
            const qsizetype nearStream = data_.sliced(from, near).indexOf("stream");
            qsizetype end = -1, stream = -1;
            if (nearStream >= 0 && (nearEnd < 0 || nearStream < nearEnd)) {
                stream = from + nearStream;
            } else if (nearEnd >= 0) {
                end = from + nearEnd;
            } else {
                // A long object: an "endobj" found is kept for the objects
                // before it, and none found is never looked for again.
                if (nextEnd >= 0 && nextEnd < from) nextEnd = data_.indexOf("endobj", from);
                end = nextEnd;
                const qsizetype limit = end >= 0 ? end : data_.size();
                const qsizetype inside =
                    data_.sliced(from, std::min(limit, from + kMaxDictionary) - from)
                        .indexOf("stream");
                if (inside >= 0) stream = from + inside;
            }
            const bool hasStream = stream >= 0;
            const qsizetype limit = end >= 0 ? end : data_.size();
            const qsizetype to = std::min(hasStream ? stream : limit, from + kMaxDictionary);
            const QByteArrayView dictionary = data_.sliced(from, to - from);
            objects_[*number] = dictionary.toByteArray();  // a later update replaces it
            Release(at);
            if (!hasStream) {
                if (end >= 0) at = end;
                continue;
            }
            // Past the stream's data without reading it, when its length is given.
            const std::optional<qint64> length = DirectInteger(dictionary, "/Length");
            const qsizetype data = stream + 6;
            if (length && *length >= 0 && data + *length < data_.size())
                at = data + qsizetype(*length);
            else if (const qsizetype after = data_.indexOf("endstream", data); after >= 0)
                at = after;
            else
                break;
        }
    }

    // "12 0" before "obj" at `at`: the object's number.
    std::optional<int> NumberBefore(qsizetype at) const {
        qsizetype i = at;
        const auto skipSpace = [&] {
            const qsizetype before = i;
            while (i > 0 && IsSpace(data_[i - 1])) --i;
            return i < before;
        };
        const auto digits = [&]() -> std::optional<qint64> {
            const qsizetype end = i;
            while (i > 0 && IsDigit(data_[i - 1]) && end - i < 10) --i;
            if (i == end) return std::nullopt;
            return QByteArrayView(data_.sliced(i, end - i)).toLongLong();
        };
        if (!skipSpace() || !digits() || !skipSpace()) return std::nullopt;
        const std::optional<qint64> number = digits();
        if (!number || (i > 0 && !IsDelimiter(data_[i - 1])) || *number > 0x7FFFFFFF)
            return std::nullopt;
        return int(*number);
    }

public:
    // The integer after key, written in place (not a reference to another object).
    static std::optional<qint64> DirectInteger(QByteArrayView dictionary, const char* key) {
        const qsizetype at = KeyAt(dictionary, key);
        if (at < 0 || RefAtStart(dictionary.sliced(at))) return std::nullopt;
        qsizetype i = at;
        while (i < dictionary.size() && IsSpace(dictionary[i])) ++i;
        const qsizetype start = i;
        while (i < dictionary.size() && IsDigit(dictionary[i]) && i - start < 12) ++i;
        if (i == start) return std::nullopt;
        return dictionary.sliced(start, i - start).toLongLong();
    }

    // Where the value of key starts, -1 when the dictionary has none.
    static qsizetype KeyAt(QByteArrayView dictionary, const char* key) {
        const QByteArrayView name(key);
        for (qsizetype at = dictionary.indexOf(name); at >= 0;
             at = dictionary.indexOf(name, at + 1)) {
            const qsizetype end = at + name.size();
            if (end >= dictionary.size() || IsDelimiter(dictionary[end])) return end;
        }
        return -1;
    }

private:
    // The file's pages passed are given back as the scan goes: the
    // dictionaries are copied, and a stream whose length is not given is
    // looked through once, never kept in memory.
    void Release(qsizetype upTo) {
        static const qsizetype page = qsizetype(::sysconf(_SC_PAGESIZE));
        const qsizetype end = upTo / page * page;
        if (end - released_ < kReleaseEvery) return;
        ::madvise(const_cast<char*>(data_.data()) + released_, std::size_t(end - released_),
                  MADV_DONTNEED);
        released_ = end;
    }

    QByteArrayView data_;
    std::unordered_map<int, QByteArray> objects_;
    qsizetype released_ = 0;
};

// The object numbers referred to ("12 0 R") in text, in their order.
std::vector<int> RefsIn(QByteArrayView text) {
    std::vector<int> refs;
    for (qsizetype at = text.indexOf('R'); at >= 0; at = text.indexOf('R', at + 1)) {
        if (at + 1 < text.size() && !IsDelimiter(text[at + 1])) continue;
        qsizetype i = at;
        const auto skipSpace = [&] {
            const qsizetype before = i;
            while (i > 0 && IsSpace(text[i - 1])) --i;
            return i < before;
        };
        const auto digits = [&] {
            const qsizetype end = i;
            while (i > 0 && IsDigit(text[i - 1]) && end - i < 10) --i;
            return end - i;
        };
        if (!skipSpace() || !digits() || !skipSpace()) continue;
        const qsizetype end = i;
        if (!digits()) continue;
        const qint64 number = text.sliced(i, end - i).toLongLong();
        if (number <= 0x7FFFFFFF) refs.push_back(int(number));
    }
    return refs;
}

bool HasName(QByteArrayView dictionary, const char* key, const char* value) {
    const QByteArrayView name(value);
    for (qsizetype from = 0;;) {
        const qsizetype found = Objects::KeyAt(dictionary.sliced(from), key);
        if (found < 0) return false;
        qsizetype i = from + found;
        while (i < dictionary.size() && IsSpace(dictionary[i])) ++i;
        if (dictionary.sliced(i).startsWith(name) &&
            (i + name.size() >= dictionary.size() || IsDelimiter(dictionary[i + name.size()])))
            return true;
        from += found;
    }
}

// The value of key: an inline dictionary or array, or the dictionary of the
// object it refers to; empty for none.
QByteArrayView ValueOf(const Objects& objects, QByteArrayView dictionary, const char* key) {
    const qsizetype at = Objects::KeyAt(dictionary, key);
    if (at < 0) return {};
    qsizetype i = at;
    while (i < dictionary.size() && IsSpace(dictionary[i])) ++i;
    if (i >= dictionary.size()) return {};
    const QByteArrayView rest = dictionary.sliced(i);
    if (rest.startsWith("<<") || rest.startsWith("[")) {
        int depth = 0;
        for (qsizetype j = 0; j < rest.size(); ++j) {
            if (rest.sliced(j).startsWith("<<") || rest[j] == '[') {
                ++depth;
                if (rest[j] == '<') ++j;
            } else if (rest.sliced(j).startsWith(">>") || rest[j] == ']') {
                if (rest[j] == '>') ++j;
                if (--depth == 0) return rest.first(j + 1);
            }
        }
        return rest;
    }
    const std::optional<int> ref = RefAtStart(rest);
    return ref ? objects.Dictionary(*ref) : QByteArrayView();
}

struct Walk {
    const Objects& objects;
    qint64 maxPixels;
    int maxSide;
    std::set<int> large;  // the pictures too large
    std::size_t visits = 0;

    bool TooLarge(QByteArrayView image) const {
        const std::optional<qint64> width = Integer(image, "/Width");
        const std::optional<qint64> height = Integer(image, "/Height");
        if (!width || !height) return false;
        return *width > maxSide || *height > maxSide || *width * *height > maxPixels;
    }

    // A direct integer, or one kept in an object of its own.
    std::optional<qint64> Integer(QByteArrayView dictionary, const char* key) const {
        const qsizetype at = Objects::KeyAt(dictionary, key);
        if (at < 0) return std::nullopt;
        if (const std::optional<int> ref = RefAtStart(dictionary.sliced(at))) {
            bool ok = false;
            const qint64 value = objects.Dictionary(*ref).trimmed().toLongLong(&ok);
            return ok ? std::optional<qint64>(value) : std::nullopt;
        }
        return Objects::DirectInteger(dictionary, key);
    }

    // Whether resources (and the forms they draw, to any depth) hold a
    // picture too large.
    bool HoldsLarge(QByteArrayView resources) {
        std::deque<int> todo;
        for (int ref : RefsIn(resources)) todo.push_back(ref);
        std::set<int> seen;
        while (!todo.empty() && visits < kMaxVisits) {
            const int number = todo.front();
            todo.pop_front();
            if (!seen.insert(number).second) continue;
            ++visits;
            if (large.count(number)) return true;
            const QByteArrayView dictionary = objects.Dictionary(number);
            if (HasName(dictionary, "/Subtype", "/Image")) continue;  // a picture within the bounds
            const QByteArrayView inner = HasName(dictionary, "/Subtype", "/Form")
                                             ? ValueOf(objects, dictionary, "/Resources")
                                             : dictionary;
            // Never back up the page tree to other pages.
            if (HasName(dictionary, "/Type", "/Page") || HasName(dictionary, "/Type", "/Pages"))
                continue;
            for (int ref : RefsIn(inner)) todo.push_back(ref);
        }
        return false;
    }

    // The pages below node in order, each with whether it holds a picture
    // too large; false when the tree cannot be followed.
    bool Pages(int node, QByteArrayView inherited, int depth, std::vector<bool>& pages,
               std::set<int>& seen) {
        if (depth > kMaxDepth || !seen.insert(node).second) return false;
        const QByteArrayView dictionary = objects.Dictionary(node);
        if (dictionary.isEmpty()) return false;
        QByteArrayView resources = ValueOf(objects, dictionary, "/Resources");
        if (resources.isEmpty()) resources = inherited;
        if (HasName(dictionary, "/Type", "/Page")) {
            pages.push_back(HoldsLarge(resources));
            return true;
        }
        if (!HasName(dictionary, "/Type", "/Pages")) return false;
        for (int kid : RefsIn(ValueOf(objects, dictionary, "/Kids")))
            if (!Pages(kid, resources, depth + 1, pages, seen)) return false;
        return true;
    }
};

}  // namespace

PdfPictures PdfPictures::Scan(const QString& file, int pageCount, qint64 maxPixels, int maxSide) {
    PdfPictures pictures;
    QFile pdf(file);
    if (!pdf.open(QIODevice::ReadOnly) || pdf.size() <= 0) return pictures;
    // Mapped, not read: the file's pages come and go as the system sees fit.
    const uchar* mapped = pdf.map(0, pdf.size());
    if (!mapped) return pictures;
    const QByteArrayView data(reinterpret_cast<const char*>(mapped), pdf.size());
    const Objects objects(data);
    Walk walk{objects, maxPixels, maxSide, {}, 0};
    for (const auto& [number, dictionary] : objects.All())
        if (HasName(dictionary, "/Subtype", "/Image") && walk.TooLarge(dictionary))
            walk.large.insert(number);
    pictures.anyTooLarge_ = !walk.large.empty();
    if (!pictures.anyTooLarge_) return pictures;
    // The page tree's root: the node of pages that has no parent.
    for (const auto& [number, dictionary] : objects.All()) {
        if (!HasName(dictionary, "/Type", "/Pages") || Objects::KeyAt(dictionary, "/Parent") >= 0)
            continue;
        std::vector<bool> pages;
        std::set<int> seen;
        // Pages told apart only when the tree gives as many as the reader counts.
        if (walk.Pages(number, {}, 0, pages, seen) && int(pages.size()) == pageCount) {
            pictures.pages_ = std::move(pages);
            pictures.pagesKnown_ = true;
        }
        break;
    }
    return pictures;
}

bool PdfPictures::TooLarge(int page) const {
    if (!anyTooLarge_) return false;
    if (!pagesKnown_ || page < 1 || std::size_t(page) > pages_.size()) return true;
    return pages_[std::size_t(page - 1)];
}

}  // namespace scrivane
