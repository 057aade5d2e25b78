#include "print/versions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <bit>

#include "core/numbers.h"
#include "core/optionpins.h"

namespace scrivane {

namespace {

// SplitMix64: a small generator whose output is fixed by its definition, so
// a seed gives the same versions on every machine and library.
class Generator {
public:
    explicit Generator(std::uint64_t state) : state_(state) {}
    std::uint64_t Next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound), without the bias of a plain modulo.
    std::uint64_t Below(std::uint64_t bound) {
        const std::uint64_t threshold = (0 - bound) % bound;
        for (;;) {
            const std::uint64_t r = Next();
            if (r >= threshold) return r % bound;
        }
    }
    // Fisher-Yates over the given positions of v.
    template <typename T>
    void Shuffle(std::vector<T>& v) {
        for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[Below(i)]);
    }

private:
    std::uint64_t state_;
};

// One stream per version and question, so that a question's option order does
// not depend on where the question landed or on the other switch.
Generator StreamFor(std::uint32_t seed, int version, int question) {
    Generator mix(std::uint64_t(seed) << 32 ^ std::uint64_t(version) << 16 ^
                  std::uint64_t(question));
    return Generator(mix.Next());
}

bool HasFilledOption(const QuestionRecord& record) {
    for (int i = 0; i < 6; ++i)
        if (IsFilledOption(record, i)) return true;
    return false;
}

// The option `item` (0 for A) as printed under `letter`, with its pictures.
PrintedOption OptionOf(const QuestionRecord& record, int item, QChar letter) {
    return {letter, record.Items[std::size_t(item)].trimmed(), QChar(u'A' + item),
            record.Pictures[std::size_t(PictureBoxOfItem(item))]};
}

PrintedQuestion AsStored(const QuestionRecord& record, int source, int blankLetters) {
    PrintedQuestion q;
    q.source = source;
    q.score = record.Score;
    // Blanks at the ends of a text are not printed.
    q.title = record.Title.trimmed();
    q.titlePictures = record.Pictures[kPictureTitle];
    q.answer = record.Answer & 63;
    for (int i = 0; i < 6; ++i)
        if (IsFilledOption(record, i)) q.options.push_back(OptionOf(record, i, QChar(u'A' + i)));
    if (q.options.empty()) {
        // A question without option texts (a quick paper's) offers the
        // letters of the answer mode, and any letter its answer names.
        const int letters =
            std::max(std::clamp(blankLetters, 1, 6), int(std::bit_width(unsigned(q.answer))));
        for (int i = 0; i < letters; ++i)
            q.options.push_back({QChar(u'A' + i), {}, QChar(u'A' + i), {}});
    }
    return q;
}

PrintedQuestion Shuffled(const QuestionRecord& record, int source, int blankLetters,
                         KeptOptionsRule rule, Generator generator) {
    PrintedQuestion q = AsStored(record, source, blankLetters);
    // Options without texts keep their letters, and numbers or letters that
    // name each other their order; the paper's digest reads the same places.
    const OptionPlaces places = PlacesOf(record, rule);
    if (places.filled == 0 || places.whole) return q;
    std::vector<int> filled;
    for (int i = 0; i < 6; ++i)
        if (places.filled & (1u << i)) filled.push_back(i);

    // The free places are dealt out again; pinned options keep theirs.
    std::vector<std::size_t> freePlaces;
    for (std::size_t p = 0; p < filled.size(); ++p)
        if (!(places.pinned & (1u << filled[p]))) freePlaces.push_back(p);
    std::vector<int> moved;
    for (std::size_t p : freePlaces) moved.push_back(filled[p]);
    generator.Shuffle(moved);
    std::vector<int> order = filled;
    for (std::size_t k = 0; k < freePlaces.size(); ++k) order[freePlaces[k]] = moved[k];

    q.options.clear();
    q.answer = 0;
    for (std::size_t p = 0; p < order.size(); ++p) {
        q.options.push_back(OptionOf(record, order[p], QChar(u'A' + int(p))));
        if (record.Answer & (1u << order[p])) q.answer |= AnswerMask(1u << p);
    }
    return q;
}

}  // namespace

QString PrintedQuestion::KeyText() const {
    return answer == 0 ? QStringLiteral("?") : AnswerMaskToText(answer);
}

OptionPlaces PlacesOf(const QuestionRecord& record, KeptOptionsRule rule) {
    OptionPlaces places;
    for (int i = 0; i < 6; ++i)
        if (IsFilledOption(record, i)) places.filled |= std::uint8_t(1u << i);
    const KeptOptions kept = KeptOptionsOf(record, rule);
    places.pinned = std::uint8_t(kept.kept & places.filled);
    places.whole = kept.whole;
    return places;
}

int BlankOptionLetters(std::int16_t answerType) {
    return IsMultipleAnswerMode(answerType) ? 6 : 5;
}

QString VersionName(int index) {
    return QString(QChar(u'A' + std::clamp(index, 0, kMaxVersions - 1)));
}

std::vector<PaperVersion> BuildVersions(const std::vector<QuestionRecord>& paper,
                                        const VersionSettings& settings) {
    const int count = std::clamp(settings.count, 1, kMaxVersions);
    std::vector<PaperVersion> versions;
    versions.reserve(std::size_t(count));
    for (int v = 0; v < count; ++v) {
        PaperVersion version;
        version.name = VersionName(v);
        std::vector<int> order(paper.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = int(i);
        if (settings.shuffleQuestions) {
            // A question without option texts keeps its number, which a
            // teacher may have written on the board beside it.
            std::vector<std::size_t> freePlaces;
            std::vector<int> moved;
            for (std::size_t i = 0; i < paper.size(); ++i)
                if (HasFilledOption(paper[i])) {
                    freePlaces.push_back(i);
                    moved.push_back(int(i));
                }
            StreamFor(settings.seed, v, 0).Shuffle(moved);
            for (std::size_t k = 0; k < freePlaces.size(); ++k) order[freePlaces[k]] = moved[k];
        }
        for (int index : order) {
            const QuestionRecord& record = paper[std::size_t(index)];
            version.questions.push_back(
                settings.shuffleOptions
                    ? Shuffled(record, index + 1, settings.blankOptionLetters, settings.keptOptions,
                               StreamFor(settings.seed, v, index + 1))
                    : AsStored(record, index + 1, settings.blankOptionLetters));
        }
        versions.push_back(std::move(version));
    }
    return versions;
}

QByteArray VersionsJson(const std::vector<PaperVersion>& versions, std::uint32_t seed) {
    QJsonArray list;
    for (const PaperVersion& version : versions) {
        QJsonArray questions;
        for (const PrintedQuestion& q : version.questions) {
            QJsonArray items;
            for (const PrintedOption& option : q.options) items.append(option.text);
            // The mark as its shortest single-precision decimal, as the converter prints it.
            questions.append(
                QJsonObject{{QStringLiteral("source"), q.source},
                            {QStringLiteral("Score"), ShortestSingle(q.score).toDouble()},
                            {QStringLiteral("Answer"), AnswerMaskToText(q.answer)},
                            {QStringLiteral("Title"), q.title},
                            {QStringLiteral("Items"), items}});
        }
        list.append(QJsonObject{{QStringLiteral("name"), version.name},
                                {QStringLiteral("questions"), questions}});
    }
    const QJsonObject root{{QStringLiteral("seed"), double(seed)},
                           {QStringLiteral("versions"), list}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

}  // namespace scrivane
