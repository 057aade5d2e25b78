#include "scangen/evaluate.h"

#include <map>
#include <set>

namespace scrivane::scangen {

void Evaluation::Add(const PageRead& read, const Sheet& sheet, const QString& name) {
    ++sheets;
    if (read.status != PageRead::Status::Read) {
        ++unreadable;
        if (read.reasons.isEmpty()) ++unreadableWithoutReason;
        return;
    }
    ++registered;
    if (read.version != sheet.truth[QStringLiteral("version")].toString()) {
        ++versionsWrong;
        if (faults.size() < 20) faults << name + QStringLiteral(": version ") + read.version;
        return;
    }
    if (read.reasons.contains(
            QStringLiteral("the sheet could not be placed surely: check every answer"))) {
        ++placedUnsurely;
        if (faults.size() < 20) faults << name + QStringLiteral(": placed unsurely");
    }
    struct Answer {
        std::set<QChar> marked, truth;
        bool unclear = false;
    };
    std::map<int, Answer> questions;
    std::map<int, Answer> places;
    for (std::size_t i = 0; i < read.bubbles.size() && i < sheet.filling.marks.size(); ++i) {
        const BubbleRead& b = read.bubbles[i];
        const bool isAnswer = b.bubble.kind == SheetBubble::Kind::Answer;
        Answer& a = isAnswer ? questions[b.bubble.question] : places[b.bubble.position];
        const QChar key = isAnswer ? b.bubble.option : QChar(u'0' + b.bubble.digit);
        if (b.mark == BubbleRead::Mark::Unclear) a.unclear = true;
        if (b.mark == BubbleRead::Mark::Marked) a.marked.insert(key);
        if (Counts(sheet.filling.marks[i])) a.truth.insert(key);
    }
    for (const auto& [number, a] : questions) {
        ++answers;
        if (a.unclear) {
            ++unclear;
        } else if (a.marked.size() >= 2) {
            ++(a.truth.size() >= 2 ? multipleMarked : multiple);
        } else if (a.marked != a.truth) {
            ++wrong;
            if (faults.size() < 20) {
                QString said = name + QStringLiteral(": question %1 read ").arg(number);
                for (QChar c : a.marked) said += c;
                said += QStringLiteral(" for ");
                for (QChar c : a.truth) said += c;
                faults << said;
            }
        }
    }
    for (const auto& [position, a] : places)
        if (!a.unclear && a.marked.size() == 1 && a.marked != a.truth) {
            ++studentsWrong;
            if (faults.size() < 20)
                faults << name + QStringLiteral(": student number place %1").arg(position);
        }
}

double Evaluation::DoubtfulPercent() const {
    return answers ? 100.0 * double(unclear + multiple) / double(answers) : 0;
}

QString Evaluation::Summary() const {
    return QStringLiteral(
               "%1 sheets: %2 registered, %3 unreadable (%4 without a reason), %5 placed unsurely; "
               "%6 answers: %7 wrong without a flag, %8 unclear, %9 multiple (%10 marked twice "
               "by the student), %11 % doubtful; %12 student places wrong; %13 versions wrong")
        .arg(sheets)
        .arg(registered)
        .arg(unreadable)
        .arg(unreadableWithoutReason)
        .arg(placedUnsurely)
        .arg(answers)
        .arg(wrong)
        .arg(unclear)
        .arg(multiple)
        .arg(multipleMarked)
        .arg(DoubtfulPercent(), 0, 'f', 2)
        .arg(studentsWrong)
        .arg(versionsWrong);
}

Sheet EvaluationSheet(const PrintRun& run, int i, std::mt19937& random, double* dpi) {
    static constexpr double kDpi[] = {150, 200, 300};
    *dpi = kDpi[i % 3];
    const int version = i % int(run.layouts.size());
    const int kind = i % 10;
    switch (kind) {
        case 6: {
            // A corner out of the picture, each in turn.
            return MakeCutPhoto(run, version, 1 << ((i / 10) % 4), *dpi, random);
        }
        case 7: {
            // The two corners of the top, the bottom, the left or the right.
            static constexpr int kSides[] = {1 | 2, 4 | 8, 1 | 8, 2 | 4};
            return MakeCutPhoto(run, version, kSides[(i / 10) % 4], *dpi, random);
        }
        case 8: {
            const Filling filling = LightPencilFilling(run.layouts[std::size_t(version)], random);
            return MakeSheet(run, version, RandomDistortion(random, (i / 10) % 2 ? 4 : 0), *dpi,
                             random, filling);
        }
        case 9: {
            Distortion d = RandomDistortion(random, 1);
            d.tornMarker = (i / 10) % 4;
            d.doodle = true;
            return MakeSheet(run, version, d, *dpi, random);
        }
        default:
            return MakeSheet(run, version, RandomDistortion(random, kind), *dpi, random);
    }
}

}  // namespace scrivane::scangen
