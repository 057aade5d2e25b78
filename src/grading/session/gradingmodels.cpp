#include "grading/session/gradingmodels.h"

#include <QBrush>
#include <QColor>
#include <QFileInfo>
#include <QFont>
#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "grading/scores/gradesreport.h"
#include "grading/session/gradingsession.h"

namespace scrivane {

namespace {

const QColor kReviewColour(255, 225, 170);
const QColor kUnreadableColour(250, 200, 200);
const QColor kAnswerColour(0, 110, 0);
const QColor kFlagColour(190, 60, 0);

// The sheets in each of the top and bottom groups of the statistics.
int GroupSize(int sheets) {
    return std::max(1, (27 * sheets + 50) / 100);
}

}  // namespace

QString StatisticText(const std::optional<double>& value) {
    return value ? FormatFigure(std::round(*value * 1000) / 1000) : QStringLiteral("–");
}

// --- The sheets ------------------------------------------------------------------

SheetsModel::SheetsModel(const GradingSession& session, QObject* parent)
    : QAbstractTableModel(parent), session_(session), ids_(session.ReviewOrder()) {}

int SheetsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(ids_.size());
}

int SheetsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

int SheetsModel::SheetAt(int row) const {
    return row >= 0 && std::size_t(row) < ids_.size() ? ids_[std::size_t(row)] : -1;
}

int SheetsModel::RowOf(int id) const {
    const auto found = std::find(ids_.begin(), ids_.end(), id);
    return found == ids_.end() ? -1 : int(found - ids_.begin());
}

QVariant SheetsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const QStringList names{QStringLiteral("Student number"), QStringLiteral("Name"),
                                   QStringLiteral("Version"),        QStringLiteral("Mark"),
                                   QStringLiteral("Maximum"),        QStringLiteral("Percentage"),
                                   QStringLiteral("Status"),         QStringLiteral("Scan")};
    return names.value(section);
}

QVariant SheetsModel::data(const QModelIndex& index, int role) const {
    const int id = SheetAt(index.row());
    const GradingSheet* sheet = session_.Sheet(id);
    const SheetResult* result = session_.Result(id);
    if (!index.isValid() || !sheet || !result) return {};
    const SheetResult& r = *result;
    const ReviewStatus status = session_.Status(id);
    const bool read = status != ReviewStatus::Unreadable;
    switch (role) {
        case SheetRole:
            return id;
        case Qt::BackgroundRole:
            if (status == ReviewStatus::Review) return QBrush(kReviewColour);
            if (status == ReviewStatus::Unreadable) return QBrush(kUnreadableColour);
            return {};
        case Qt::ToolTipRole:
            return r.reasons.isEmpty() ? QVariant() : QVariant(r.reasons.join(u'\n'));
        case Qt::DisplayRole:
        case SortRole:
            break;
        default:
            return {};
    }
    const bool display = role == Qt::DisplayRole;
    const double percent = scrivane::Percentage(r);
    switch (Column(index.column())) {
        case Student:
            return r.student.value_or(QString());
        case Name:
            return r.name.value_or(QString());
        case Version:
            return r.version;
        case Mark:
            if (display) return read ? FormatFigure(r.score) : QString();
            return read ? r.score : -1;
        case Maximum:
            if (display) return read ? FormatFigure(r.max) : QString();
            return r.max;
        case Percentage:
            if (display) return read ? FormatFigure(std::round(percent * 10) / 10) : QString();
            return read ? percent : -1;
        case Status:
            if (display) return ReviewStatusText(status);
            return index.row();
        case Scan:
            if (display)
                return sheet->byHand ? QStringLiteral("by hand")
                                     : QStringLiteral("%1 p. %2")
                                           .arg(QFileInfo(sheet->file).fileName())
                                           .arg(sheet->page);
            return index.row();
        case ColumnCount:
            break;
    }
    return {};
}

namespace {

// Of a sequence of distinct places, the indexes of a longest run that is
// already in order: those rows keep their place, the others move.
std::vector<bool> LongestInOrder(const std::vector<std::size_t>& places) {
    std::vector<std::size_t> tails;  // index ending the best run of each length
    std::vector<std::ptrdiff_t> before(places.size(), -1);
    for (std::size_t k = 0; k < places.size(); ++k) {
        const auto at = std::lower_bound(
            tails.begin(), tails.end(), places[k],
            [&places](std::size_t index, std::size_t place) { return places[index] < place; });
        if (at != tails.begin()) before[k] = std::ptrdiff_t(*(at - 1));
        if (at == tails.end())
            tails.push_back(k);
        else
            *at = k;
    }
    std::vector<bool> keep(places.size(), false);
    for (std::ptrdiff_t k = tails.empty() ? -1 : std::ptrdiff_t(tails.back()); k >= 0;
         k = before[std::size_t(k)])
        keep[std::size_t(k)] = true;
    return keep;
}

}  // namespace

void SheetsModel::Update() {
    const std::vector<int> order = session_.ReviewOrder();
    std::map<int, std::size_t> place;  // each sheet's row in the new order
    for (std::size_t i = 0; i < order.size(); ++i) place[order[i]] = i;
    // Gone, in runs from the bottom up.
    for (int row = int(ids_.size()) - 1; row >= 0;) {
        if (place.count(ids_[std::size_t(row)])) {
            --row;
            continue;
        }
        int first = row;
        while (first > 0 && !place.count(ids_[std::size_t(first - 1)])) --first;
        beginRemoveRows({}, first, row);
        ids_.erase(ids_.begin() + first, ids_.begin() + row + 1);
        endRemoveRows();
        row = first - 1;
    }
    // The rows that keep their order stay; each other one moves once where
    // it can, and new sheets are inserted.
    std::vector<std::size_t> places;
    for (const int id : ids_) places.push_back(place[id]);
    const std::vector<bool> keep = LongestInOrder(places);
    std::set<int> staying;
    for (std::size_t k = 0; k < ids_.size(); ++k)
        if (keep[k]) staying.insert(ids_[k]);
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i < ids_.size() && ids_[i] == order[i]) continue;
        const auto found = std::find(ids_.begin() + std::ptrdiff_t(i), ids_.end(), order[i]);
        if (found == ids_.end()) {
            beginInsertRows({}, int(i), int(i));
            ids_.insert(ids_.begin() + std::ptrdiff_t(i), order[i]);
            endInsertRows();
            continue;
        }
        if (staying.count(order[i])) {
            // The row in its place moves down, before the first staying row
            // that follows it in the new order.
            const int moving = ids_[i];
            std::size_t to = ids_.size();
            for (std::size_t k = i + 1; k < ids_.size(); ++k)
                if (staying.count(ids_[k]) && place[ids_[k]] > place[moving]) {
                    to = k;
                    break;
                }
            if (to > i + 1) {
                beginMoveRows({}, int(i), int(i), {}, int(to));
                ids_.insert(ids_.begin() + std::ptrdiff_t(to), moving);
                ids_.erase(ids_.begin() + std::ptrdiff_t(i));
                endMoveRows();
                --i;  // this place again
                continue;
            }
        }
        const int from = int(found - ids_.begin());
        beginMoveRows({}, from, from, {}, int(i));
        ids_.erase(found);
        ids_.insert(ids_.begin() + std::ptrdiff_t(i), order[i]);
        endMoveRows();
    }
    if (!ids_.empty()) emit dataChanged(index(0, 0), index(int(ids_.size()) - 1, ColumnCount - 1));
}

// --- The questions -----------------------------------------------------------------

QuestionsModel::QuestionsModel(const GradingSession& session, QObject* parent)
    : QAbstractTableModel(parent),
      session_(session),
      letters_(OfferedLetters(session.Statistics())),
      rows_(int(session.Statistics().questions.size())) {}

int QuestionsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int QuestionsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FlagColumn() + 1;
}

int QuestionsModel::LetterColumn(QChar letter) const {
    const qsizetype at = letters_.indexOf(letter);
    return at < 0 ? -1 : FirstLetter + int(at);
}

QVariant QuestionsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const QStringList first{QStringLiteral("Question"), QStringLiteral("Answer"),
                                   QStringLiteral("p"), QStringLiteral("Discrimination"),
                                   QStringLiteral("Point-biserial")};
    if (section < FirstLetter) return first.value(section);
    if (section < BlankColumn()) return QString(letters_[section - FirstLetter]);
    if (section == BlankColumn()) return QStringLiteral("Blank");
    if (section == MultipleColumn()) return QStringLiteral("Multiple");
    if (section == FlagColumn()) return QStringLiteral("Flag");
    return {};
}

QVariant QuestionsModel::data(const QModelIndex& index, int role) const {
    const GradeStatistics& stats = session_.Statistics();
    if (!index.isValid() || std::size_t(index.row()) >= stats.questions.size()) return {};
    const QuestionStatistics& q = stats.questions[std::size_t(index.row())];
    const int column = index.column();
    if (column >= FirstLetter && column < BlankColumn()) {
        const QChar letter = letters_[column - FirstLetter];
        const auto option = std::find_if(q.options.begin(), q.options.end(),
                                         [letter](const auto& o) { return o.first == letter; });
        if (option == q.options.end()) return {};
        // The answer's count stands out from the distractors'.
        const bool key = q.answer && q.answer->contains(letter);
        switch (role) {
            case Qt::DisplayRole:
                return QString::number(option->second);
            case Qt::FontRole:
                if (key) {
                    QFont bold;
                    bold.setBold(true);
                    return bold;
                }
                return {};
            case Qt::ForegroundRole:
                return key ? QVariant(QBrush(kAnswerColour)) : QVariant();
            case Qt::ToolTipRole: {
                // How the top and bottom groups chose it: what tells a wrong key.
                const std::size_t o = std::size_t(option - q.options.begin());
                if (o >= q.upper.size()) return {};
                return QStringLiteral("Top group: %1 · bottom group: %2 (of %3 each)")
                    .arg(q.upper[o])
                    .arg(q.lower[o])
                    .arg(GroupSize(stats.summary.sheets));
            }
            default:
                return {};
        }
    }
    if (column == FlagColumn() && role == Qt::ForegroundRole)
        return QuestionFlag(q).isEmpty() ? QVariant() : QVariant(QBrush(kFlagColour));
    if (role != Qt::DisplayRole) return {};
    switch (column) {
        case Question:
            return QString::number(q.question);
        case Answer: {
            QString answer = q.answer.value_or(kUncertain);
            QStringList also;
            for (const AnswerMask mask : session_.AlsoAccepted(q.question))
                also << MarkedLetters(mask);
            if (!also.isEmpty())
                answer += QStringLiteral(" (also %1)").arg(also.join(QStringLiteral(", ")));
            if (session_.GiveAll(q.question)) answer += QStringLiteral(" (given to all)");
            return answer;
        }
        case P:
            return StatisticText(q.p);
        case Discrimination:
            return StatisticText(q.discrimination);
        case PointBiserial:
            return StatisticText(q.pointBiserial);
        default:
            break;
    }
    if (column == BlankColumn()) return QString::number(q.blank);
    if (column == MultipleColumn()) return QString::number(q.multiple);
    if (column == FlagColumn()) return QuestionFlag(q);
    return {};
}

void QuestionsModel::Update() {
    const GradeStatistics& stats = session_.Statistics();
    const QString letters = OfferedLetters(stats);
    const int rows = int(stats.questions.size());
    if (letters != letters_) {
        beginResetModel();
        letters_ = letters;
        rows_ = rows;
        endResetModel();
        return;
    }
    if (rows > rows_) {
        beginInsertRows({}, rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    } else if (rows < rows_) {
        beginRemoveRows({}, rows, rows_ - 1);
        rows_ = rows;
        endRemoveRows();
    }
    if (rows_ > 0) emit dataChanged(index(0, 0), index(rows_ - 1, columnCount() - 1));
}

}  // namespace scrivane
