#include "checks/rebalance.h"

#include <algorithm>
#include <bit>
#include <deque>
#include <limits>
#include <optional>
#include <tuple>

#include "checks/answerbalance.h"
#include "core/optionpins.h"

namespace scrivane {

unsigned OptionsThatStay(const std::array<QString, 6>& items) {
    const KeptOptions kept = KeptOptionsOf(items);
    return kept.whole && !HasNumericOptions(items) ? 0x3Fu : kept.kept;
}

unsigned OptionsThatStay(const QuestionRecord& question) {
    const KeptOptions kept = KeptOptionsOf(question);
    return kept.whole && !HasNumericOptions(question) ? 0x3Fu : kept.kept;
}

namespace {

using Letters = std::vector<int>;  // the answer letter of each question, -1 for none

// The smallest costs first: a min-cost flow by successive shortest paths,
// small enough for a paper of 100 questions and six letters.
class MinCostFlow {
public:
    explicit MinCostFlow(int nodes) : edges_(std::size_t(nodes)) {}
    void AddEdge(int from, int to, long cost) {
        edges_[std::size_t(from)].push_back(
            {to, 1, cost, int(edges_[std::size_t(to)].size()), true});
        edges_[std::size_t(to)].push_back(
            {from, 0, -cost, int(edges_[std::size_t(from)].size()) - 1, false});
    }
    // Sends one unit from source to sink along the cheapest path; false when
    // none is left.
    bool Augment(int source, int sink) {
        const long inf = std::numeric_limits<long>::max();
        std::vector<long> dist(edges_.size(), inf);
        std::vector<std::pair<int, int>> via(edges_.size(), {-1, -1});
        std::vector<bool> queued(edges_.size(), false);
        std::deque<int> queue{source};
        dist[std::size_t(source)] = 0;
        while (!queue.empty()) {
            const int u = queue.front();
            queue.pop_front();
            queued[std::size_t(u)] = false;
            for (std::size_t e = 0; e < edges_[std::size_t(u)].size(); ++e) {
                const Edge& edge = edges_[std::size_t(u)][e];
                if (edge.capacity == 0) continue;
                const long d = dist[std::size_t(u)] + edge.cost;
                if (d < dist[std::size_t(edge.to)]) {
                    dist[std::size_t(edge.to)] = d;
                    via[std::size_t(edge.to)] = {u, int(e)};
                    if (!queued[std::size_t(edge.to)]) {
                        queued[std::size_t(edge.to)] = true;
                        queue.push_back(edge.to);
                    }
                }
            }
        }
        if (dist[std::size_t(sink)] == inf) return false;
        for (int v = sink; v != source; v = via[std::size_t(v)].first) {
            Edge& edge = edges_[std::size_t(via[std::size_t(v)].first)]
                               [std::size_t(via[std::size_t(v)].second)];
            edge.capacity -= 1;
            edges_[std::size_t(v)][std::size_t(edge.reverse)].capacity += 1;
        }
        return true;
    }
    // Where the unit that left `from` went.
    int UsedTarget(int from) const {
        for (const Edge& edge : edges_[std::size_t(from)])
            if (edge.forward && edge.capacity == 0) return edge.to;
        return -1;
    }

private:
    struct Edge {
        int to;
        int capacity;
        long cost;
        int reverse;
        bool forward;
    };
    std::vector<std::vector<Edge>> edges_;
};

long SumOfSquares(const std::array<int, 6>& counts) {
    long sum = 0;
    for (int c : counts) sum += long(c) * c;
    return sum;
}

std::array<int, 6> CountsOf(const Letters& letters) {
    std::array<int, 6> counts{};
    for (int letter : letters)
        if (letter >= 0) ++counts[std::size_t(letter)];
    return counts;
}

// How far the runs go past three, summed: 0 when no run is too long.
int Excess(const Letters& letters) {
    int excess = 0;
    for (const LetterRun& run : LetterRuns(letters))
        excess += std::max(0, run.length - (kLongRun - 1));
    return excess;
}

int Changes(const Letters& letters, const Letters& original) {
    int changes = 0;
    for (std::size_t i = 0; i < letters.size(); ++i) changes += letters[i] != original[i];
    return changes;
}

// Where a change breaks a run longer than three into allowed ones: every
// fourth question of the run.
std::vector<bool> RunBreakers(const Letters& letters) {
    std::vector<bool> breaker(letters.size(), false);
    for (const LetterRun& run : LetterRuns(letters))
        if (run.length >= kLongRun)
            for (int k = kLongRun - 1; k < run.length; k += kLongRun)
                breaker[std::size_t(run.first - 1 + k)] = true;
    return breaker;
}

// The most even counts the questions' choices allow (the least sum of the
// squared counts), and among those the fewest changed questions, preferring
// the questions whose change also breaks a long run: each step in the sum
// of squares outweighs all changes, each change all preferences.
Letters EvenCounts(const Letters& original, const std::vector<unsigned>& choices) {
    Letters letters = original;
    std::vector<int> movable;
    std::array<int, 6> fixedCounts{};
    for (std::size_t q = 0; q < original.size(); ++q) {
        if (original[q] < 0) continue;
        if (std::popcount(choices[q]) > 1)
            movable.push_back(int(q));
        else
            ++fixedCounts[std::size_t(original[q])];
    }
    const int m = int(movable.size());
    if (m == 0) return letters;
    const std::vector<bool> breaker = RunBreakers(original);
    const long changeCost = m + 1;
    const long squareCost = (changeCost + 1) * m + 1;
    const int source = 0, firstLetter = m + 1, sink = m + 7;
    MinCostFlow flow(m + 8);
    for (int i = 0; i < m; ++i) {
        const auto q = std::size_t(movable[std::size_t(i)]);
        flow.AddEdge(source, 1 + i, 0);
        const long cost = changeCost + (breaker[q] ? 0 : 1);
        for (int letter = 0; letter < 6; ++letter)
            if (choices[q] & (1u << letter))
                flow.AddEdge(1 + i, firstLetter + letter, letter == original[q] ? 0 : cost);
    }
    // The k-th answer of a letter adds 2k - 1 to the sum of squares.
    for (int letter = 0; letter < 6; ++letter)
        for (int k = fixedCounts[std::size_t(letter)] + 1;
             k <= fixedCounts[std::size_t(letter)] + m; ++k)
            flow.AddEdge(firstLetter + letter, sink, squareCost * (2 * k - 1));
    for (int i = 0; i < m; ++i) flow.Augment(source, sink);
    for (int i = 0; i < m; ++i)
        letters[std::size_t(movable[std::size_t(i)])] = flow.UsedTarget(1 + i) - firstLetter;
    return letters;
}

// Breaks the runs longer than three, the first one first, by changing one
// of its first four questions and, where the counts need it, one other
// question; the repair that leaves the fewest changed questions wins. The
// counts stay as even as they were unless no such repair exists.
void BreakRuns(Letters& letters, const Letters& original, const std::vector<unsigned>& choices) {
    const long even = SumOfSquares(CountsOf(letters));
    for (int excess = Excess(letters); excess > 0; excess = Excess(letters)) {
        bool repaired = false;
        for (bool keepEven : {true, false}) {
            for (const LetterRun& run : LetterRuns(letters)) {
                if (run.length < kLongRun) continue;
                struct Best {
                    long squares;
                    int changes, excess;
                    Letters letters;
                };
                std::optional<Best> best;
                const auto consider = [&](const Letters& trial) {
                    const long squares = SumOfSquares(CountsOf(trial));
                    if (keepEven && squares > even) return;
                    const int trialExcess = Excess(trial);
                    if (trialExcess >= excess) return;
                    const int changes = Changes(trial, original);
                    const auto key = std::tuple(keepEven ? 0 : squares, changes, trialExcess);
                    if (!best ||
                        key < std::tuple(keepEven ? 0 : best->squares, best->changes, best->excess))
                        best = Best{squares, changes, trialExcess, trial};
                };
                const int firstIndex = run.first - 1;
                for (int p = firstIndex; p < firstIndex + std::min(run.length, kLongRun); ++p) {
                    for (int y = 0; y < 6; ++y) {
                        if (y == run.letter || !(choices[std::size_t(p)] & (1u << y))) continue;
                        Letters trial = letters;
                        trial[std::size_t(p)] = y;
                        consider(trial);
                        // A second question gives up a y for the counts' sake.
                        for (std::size_t r = 0; r < trial.size(); ++r) {
                            if (int(r) == p || trial[r] != y) continue;
                            for (int z = 0; z < 6; ++z) {
                                if (z == y || !(choices[r] & (1u << z))) continue;
                                Letters second = trial;
                                second[r] = z;
                                consider(second);
                            }
                        }
                    }
                }
                if (best) {
                    letters = best->letters;
                    repaired = true;
                    break;
                }
            }
            if (repaired) break;
        }
        if (!repaired) return;  // the options allow no better
    }
}

}  // namespace

RebalanceResult Rebalance(const std::vector<QuestionRecord>& rows, std::int16_t answerType) {
    Letters original;
    std::vector<unsigned> choices;
    original.reserve(rows.size());
    choices.reserve(rows.size());
    for (const QuestionRecord& q : rows) {
        const int letter = SingleLetter(q.Answer);
        original.push_back(letter);
        unsigned choice = letter >= 0 ? 1u << letter : 0u;
        // Only a filled correct option that may move goes elsewhere, and only
        // to a filled option that may move and may be the answer.
        const unsigned movable = AnswerLetters(q, answerType) & ~OptionsThatStay(q);
        // Numbers stay in the order they were written.
        if (letter >= 0 && (movable & (1u << letter)) && !HasNumericOptions(q)) choice = movable;
        choices.push_back(choice);
    }

    Letters letters = EvenCounts(original, choices);
    BreakRuns(letters, original, choices);

    RebalanceResult result{rows, {}};
    for (std::size_t q = 0; q < rows.size(); ++q) {
        if (letters[q] == original[q]) continue;
        QuestionRecord& question = result.rows[q];
        // An option's pictures move with its text.
        std::swap(question.Items[std::size_t(original[q])],
                  question.Items[std::size_t(letters[q])]);
        std::swap(question.Pictures[std::size_t(PictureBoxOfItem(original[q]))],
                  question.Pictures[std::size_t(PictureBoxOfItem(letters[q]))]);
        question.Answer = AnswerMask(1u << letters[q]);
        result.changed.push_back(int(q) + 1);
    }
    return result;
}

}  // namespace scrivane
