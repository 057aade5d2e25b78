// Versions of a paper for printing (A, B, C...): the questions and options in
// each version's order, lettered as printed, with the answers and the pictures
// following their options. The same paper, settings and seed always give the same versions.
#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <cstdint>
#include <vector>

#include "core/answercode.h"
#include "core/optionpins.h"
#include "core/questionrecord.h"

namespace scrivane {

constexpr int kMaxVersions = 26;

struct VersionSettings {
    int count = 1;  // 1 to kMaxVersions
    bool shuffleQuestions = false;
    bool shuffleOptions = false;
    std::uint32_t seed = 0;
    // The letters a question without option texts offers on the sheet and the
    // key: 5 (A to E) in single-answer mode, 6 (A to F) in multiple.
    int blankOptionLetters = 6;
    // The rule that decides which options keep their place: a sheet is
    // read by the rule it was printed with.
    KeptOptionsRule keptOptions = kCurrentKeptOptionsRule;
};

// blankOptionLetters for the answer mode of answerType.
int BlankOptionLetters(std::int16_t answerType);

struct PrintedOption {
    QChar letter;  // as printed
    QString text;
    QChar sourceLetter;       // the option's letter in the paper
    QList<Picture> pictures;  // printed under its text
};

struct PrintedQuestion {
    int source = 0;  // the question's number in the paper, from 1
    float score = 0;
    QString title;
    QList<Picture> titlePictures;  // printed under the title
    // The filled options in printed order; for a question without option
    // texts, the answer mode's letters with empty texts.
    std::vector<PrintedOption> options;
    AnswerMask answer = 0;  // over the printed letters

    // The printed letters of the answer, "?" when none is set.
    QString KeyText() const;
};

struct PaperVersion {
    QString name;  // "A", "B", ...
    std::vector<PrintedQuestion> questions;
};

// What decides where a question's options may move when they are shuffled:
// the filled options, those that keep their place, and whether the options
// name each other's letters so that the question keeps its order whole. Bit
// 0 is A.
struct OptionPlaces {
    std::uint8_t filled = 0;
    std::uint8_t pinned = 0;
    bool whole = false;
};
OptionPlaces PlacesOf(const QuestionRecord& record, KeptOptionsRule rule = kCurrentKeptOptionsRule);

// "A" for 0 up to "Z" for 25.
QString VersionName(int index);

// Builds settings.count versions (clamped to 1..kMaxVersions). Without option
// shuffling every option keeps its stored letter and the answer stays as
// stored; with it the filled options of a question are lettered A, B, C... in
// their new order, and the options that settings.keptOptions keeps (those
// that refer to others and those they name) keep their place; a question
// whose letters read both as references and as names keeps its order whole,
// as does one whose options are all numbers. A question without option texts
// gets settings.blankOptionLetters options with empty texts and keeps its
// place and letters whatever the shuffle.
std::vector<PaperVersion> BuildVersions(const std::vector<QuestionRecord>& paper,
                                        const VersionSettings& settings);

// {"seed": S, "versions": [{"name": "A", "questions": [{"source", "Score",
// "Answer", "Title", "Items"}]}]}; Answer as AnswerMaskToText gives it.
QByteArray VersionsJson(const std::vector<PaperVersion>& versions, std::uint32_t seed);

}  // namespace scrivane
