#include "core/optionpins.h"

#include <QRegularExpression>
#include <QSet>
#include <vector>

namespace scrivane {

namespace {

// Phrases that only make sense in their place in the list, matched as the
// start of the trimmed text so that "All of the above." and "None of these
// answers" are caught too (the first rule's list).
constexpr const char* kPinnedPhrases[] = {
    "all of the above",    "none of the above",    "all of these",     "none of these",
    "both of the above",   "neither of the above", "neither of these", "both of these",
    "all the above",       "none of them",         "all of them",      "both a and b",
    "either of the above", "any of the above",
};

// Words beside which a letter A to F names an option: "Only C", "A or B",
// "Neither A nor B", "Answer D", in English, French, German and Spanish.
const QSet<QString>& ReferenceWords() {
    static const QSet<QString> words = {
        // English
        "and", "or", "nor", "both", "only", "neither", "either", "all", "none", "answer", "answers",
        "option", "options", "choice", "choices", "except", "but", "alternative", "alternatives",
        "letter", "letters",
        // French
        "et", "ou", "ni", "les", "deux", "seulement", "uniquement", "seule", "seul", "seules",
        "aucune", "aucun", "toutes", "tous", "réponse", "réponses", "choix", "sauf", "proposition",
        "propositions",
        // German
        "und", "oder", "weder", "noch", "beide", "beiden", "nur", "alle", "keine", "keiner",
        "antwort", "antworten", "optionen", "auswahl", "außer", "sowie",
        // Spanish
        "y", "o", "u", "e", "ambas", "ambos", "solo", "sólo", "solamente", "únicamente", "ninguna",
        "ninguno", "todas", "todos", "respuesta", "respuestas", "opción", "opciones", "excepto",
        "menos"};
    return words;
}

// Words that join the letters of a list: "A and C", "A, C et E", "A y B".
const QSet<QString>& JoinWords() {
    static const QSet<QString> words = {"and",  "or",   "nor", "et", "ou", "ni", "und",
                                        "oder", "noch", "y",   "o",  "u",  "e",  "sowie"};
    return words;
}

// "B is correct", "C ist richtig": a lone letter that such words follow
// names an option too.
const QSet<QString>& VerdictVerbs() {
    static const QSet<QString> words = {"is", "are", "est", "sont", "ist", "sind", "es", "son"};
    return words;
}
const QSet<QString>& Verdicts() {
    static const QSet<QString> words = {
        "correct",    "true",   "right",   "wrong",     "false",     "incorrect", "correcte",
        "correctes",  "vraie",  "vraies",  "juste",     "justes",    "fausse",    "fausses",
        "richtig",    "falsch", "korrekt", "correcta",  "correctas", "correcto",  "verdadera",
        "verdaderas", "falsa",  "falsas",  "incorrecta"};
    return words;
}

// Words that speak of every option: a quantifier with a word for the list.
const QSet<QString>& Quantifiers() {
    static const QSet<QString> words = {
        "all",   "none",   "both",    "neither", "either", "any",   "tout",      "toute", "toutes",
        "tous",  "aucune", "aucun",   "alle",    "allen",  "keine", "keiner",    "beide", "beiden",
        "todas", "todos",  "ninguna", "ninguno", "ambas",  "ambos", "cualquiera"};
    return words;
}
const QSet<QString>& ListWords() {
    static const QSet<QString> words = {
        "above",        "these",        "them",        "those",      "previous", "preceding",
        "listed",       "answer",       "answers",     "option",     "options",  "choices",
        "alternatives", "dessus",       "précédentes", "précédents", "ces",      "réponse",
        "réponses",     "propositions", "obigen",      "obige",      "oben",     "vorherigen",
        "genannten",    "diese",        "dieser",      "antworten",  "optionen", "anteriores",
        "estas",        "estos",        "arriba",      "respuestas", "opciones"};
    return words;
}

struct Word {
    qsizetype from = 0, to = 0;
    QString lower;
    int letter = -1;  // 0 for a capital A standing alone .. 5 for F
};

std::vector<Word> WordsOf(const QString& text) {
    std::vector<Word> words;
    const auto inWord = [](QChar c) { return c.isLetterOrNumber() || c.isMark(); };
    for (qsizetype i = 0; i < text.size();) {
        if (!inWord(text[i])) {
            ++i;
            continue;
        }
        Word word;
        word.from = i;
        while (i < text.size() && inWord(text[i])) ++i;
        word.to = i;
        const QString piece = text.mid(word.from, word.to - word.from);
        word.lower = piece.toLower();
        if (piece.size() == 1 && piece[0] >= u'A' && piece[0] <= u'F')
            word.letter = piece[0].unicode() - u'A';
        words.push_back(std::move(word));
    }
    return words;
}

// True when every character of the gap is a blank or one of `signs`.
bool GapOf(QStringView gap, QStringView signs) {
    for (QChar c : gap)
        if (!c.isSpace() && !signs.contains(c)) return false;
    return true;
}

constexpr QStringView kBrackets = u"()[]\"'\u201C\u201D\u2018\u2019\u00AB\u00BB";
constexpr QStringView kListSigns = u",/&+;()[]\"'\u201C\u201D\u2018\u2019\u00AB\u00BB";
// Before a reference word a colon may stand too ("Answer: D"); after a lone
// letter a comma ("A, only").
constexpr QStringView kAfterReference = u"()[]\"'\u201C\u201D\u2018\u2019\u00AB\u00BB:";
constexpr QStringView kBeforeReference = u"()[]\"'\u201C\u201D\u2018\u2019\u00AB\u00BB,";

}  // namespace

unsigned ReferredLetters(const QString& text, unsigned* names) {
    const std::vector<Word> words = WordsOf(text);
    const auto gap = [&](std::size_t before, std::size_t after) {
        const qsizetype from = before < words.size() ? words[before].to : 0;
        return QStringView(text).sliced(from, words[after].from - from);
    };
    // A capital E is a letter, not the Spanish "e".
    const auto isReference = [&](std::size_t k) {
        return words[k].letter < 0 && ReferenceWords().contains(words[k].lower);
    };
    unsigned refers = 0, named = 0;
    for (std::size_t k = 0; k < words.size(); ++k) {
        if (words[k].letter < 0) continue;
        // The run of letters that starts here: "A, C and E", "A/B", "B or C".
        unsigned run = 1u << words[k].letter;
        int count = 1;
        std::size_t last = k;
        for (;;) {
            std::size_t next = last + 1;
            bool joined = false;
            while (next < words.size() && words[next].letter < 0 &&
                   JoinWords().contains(words[next].lower) &&
                   GapOf(gap(next - 1, next), kListSigns)) {
                joined = true;
                ++next;
            }
            if (next >= words.size() || words[next].letter < 0 ||
                !GapOf(gap(next - 1, next), kListSigns) || (!joined && next != last + 1))
                break;
            run |= 1u << words[next].letter;
            ++count;
            last = next;
        }
        const std::size_t before = k == 0 ? words.size() : k - 1;
        const QStringView lead = gap(before, k);
        bool reference = false, name = false;
        // "The answer is C", "La réponse est B".
        const bool answerIs = k > 1 && VerdictVerbs().contains(words[k - 1].lower) &&
                              isReference(k - 2) && GapOf(lead, kBrackets) &&
                              GapOf(gap(k - 2, k - 1), kBrackets);
        if ((k > 0 && isReference(k - 1) && GapOf(lead, kAfterReference)) || answerIs) {
            reference = true;  // "Only C", "Both A and B", "Answer: D"
        } else if (k > 0 && GapOf(lead, kBrackets)) {
            name = true;  // "Vitamin C", "Hepatitis B and C", "Plan B"
        } else if (count >= 2) {
            reference = true;  // "A, B and D" on its own
        } else if (last + 1 < words.size() && GapOf(gap(last, last + 1), kBeforeReference)) {
            // "A only", "C ist richtig"; a lone letter before any other word
            // is neither ("A dog").
            const std::size_t after = last + 1;
            reference = isReference(after) ||
                        (after + 1 < words.size() && VerdictVerbs().contains(words[after].lower) &&
                         Verdicts().contains(words[after + 1].lower));
        }
        if (reference) refers |= run;
        if (name) named |= run;
        k = last;
    }
    if (names) *names = named;
    return refers;
}

bool RefersToAllOptions(const QString& text) {
    bool quantifier = false, list = false, others = false;
    for (const Word& word : WordsOf(text)) {
        const bool isQuantifier = Quantifiers().contains(word.lower);
        quantifier = quantifier || isQuantifier;
        list = list || ListWords().contains(word.lower);
        others = others || !isQuantifier;
    }
    // "None", "Both", "Alle" on their own speak of the list too.
    if (quantifier && (list || !others)) return true;
    const QString lower = text.trimmed().toLower();
    for (const char* phrase : kPinnedPhrases)
        if (lower.startsWith(QLatin1String(phrase))) return true;
    return false;
}

namespace {

// Under Phrases, an option that names another option's letter ("A or C")
// kept the question's order whole; one that starts with a pinned phrase
// did not, so the text is kept from starting with one.
bool NamesAnotherOption(const std::array<QString, 6>& items, int index) {
    std::array<QString, 6> probe = items;
    probe[std::size_t(index)] = QStringLiteral(u"\u2022 ") + items[std::size_t(index)];
    return IsPinnedOption(probe, index);
}

// Two or more filled options (bit 0 is A), every one a number: an option
// filled by a picture alone is not one.
bool AllNumbers(const std::array<QString, 6>& items, unsigned filled) {
    int count = 0;
    for (int i = 0; i < 6; ++i) {
        if (!(filled & (1u << i))) continue;
        if (!IsNumericOption(items[std::size_t(i)])) return false;
        ++count;
    }
    return count >= 2;
}

KeptOptions KeptOptionsOf(const std::array<QString, 6>& items, unsigned filled,
                          KeptOptionsRule rule) {
    KeptOptions out;
    if (rule == KeptOptionsRule::Phrases) {
        for (int i = 0; i < 6; ++i) {
            if (!(filled & (1u << i))) continue;
            if (IsPinnedOption(items, i)) out.kept |= 1u << i;
            out.whole = out.whole || NamesAnotherOption(items, i);
        }
    } else {
        unsigned referred = 0, named = 0;
        for (int i = 0; i < 6; ++i) {
            if (!(filled & (1u << i))) continue;
            unsigned names = 0;
            const unsigned refers = ReferredLetters(items[std::size_t(i)], &names) & filled;
            referred |= refers;
            named |= names;
            // The option that refers keeps its place, and so do those it names.
            if (refers != 0 || RefersToAllOptions(items[std::size_t(i)]))
                out.kept |= (1u << i) | refers;
        }
        out.namesEachOther = (referred & named) != 0;
        out.whole = out.namesEachOther;
    }
    // Numbers keep their ascending order whole.
    out.whole = out.whole || AllNumbers(items, filled);
    return out;
}

}  // namespace

KeptOptions KeptOptionsOf(const std::array<QString, 6>& items, KeptOptionsRule rule) {
    unsigned filled = 0;
    for (int i = 0; i < 6; ++i)
        if (IsFilledText(items[std::size_t(i)])) filled |= 1u << i;
    return KeptOptionsOf(items, filled, rule);
}

namespace {

unsigned FilledOptions(const QuestionRecord& question) {
    unsigned filled = 0;
    for (int i = 0; i < 6; ++i)
        if (IsFilledOption(question, i)) filled |= 1u << i;
    return filled;
}

}  // namespace

KeptOptions KeptOptionsOf(const QuestionRecord& question, KeptOptionsRule rule) {
    return KeptOptionsOf(question.Items, FilledOptions(question), rule);
}

bool HasNumericOptions(const QuestionRecord& question) {
    return AllNumbers(question.Items, FilledOptions(question));
}

bool IsPinnedOption(const std::array<QString, 6>& items, int index) {
    if (index < 0 || index >= int(items.size())) return false;
    const QString text = items[std::size_t(index)].trimmed().toLower();
    if (text.isEmpty()) return false;
    for (const char* phrase : kPinnedPhrases)
        if (text.startsWith(QLatin1String(phrase))) return true;
    // A lone capital letter of another filled option: "Both A and C", "B or D";
    // not the article of "A dog".
    static const QRegularExpression letter(
        QStringLiteral("(?<![\\p{L}\\p{N}])([A-F])(?![\\p{L}\\p{N}])(?!\\s+\\p{Ll})"));
    const QString original = items[std::size_t(index)];
    for (auto it = letter.globalMatch(original); it.hasNext();) {
        const int other = it.next().captured(1).at(0).unicode() - u'A';
        if (other != index && !items[std::size_t(other)].trimmed().isEmpty()) return true;
    }
    return false;
}

bool IsNumericOption(const QString& text) {
    // A currency sign may lead; a unit of letters and signs may follow,
    // after a blank or not ("10kg", "10 kg", "25 %", "12 m/s²").
    static const QRegularExpression number(QStringLiteral(
        "^(?:\\p{Sc}\\s*)?[+\\-\\x{2212}]?(?:\\d+(?:[.,\\x{2009}\\x{202F}]\\d+)*|[.,]\\d+)"
        "(?:[eE][+\\-]?\\d+)?"
        "(?:\\s*[\\p{L}\\p{Sc}%\\x{2030}\\x{00B0}\\x{2032}\\x{2033}'\"]"
        "[\\p{L}\\p{N}\\p{Sc}%\\x{00B0}\\x{00B2}\\x{00B3}\\x{00B7}/^.\\-]*)?$"));
    const QString trimmed = text.trimmed();
    return !trimmed.isEmpty() && number.match(trimmed).hasMatch();
}

bool HasNumericOptions(const std::array<QString, 6>& items) {
    int filled = 0;
    for (const QString& item : items) {
        if (item.trimmed().isEmpty()) continue;
        if (!IsNumericOption(item)) return false;
        ++filled;
    }
    return filled >= 2;
}

}  // namespace scrivane
