// The reading of a page as its stages (readstages.h) in order, with which
// sheet it is decided between locating and registering: the code read (or
// the version squares), checked against the paper, gives the layout the
// later stages read by.
#include "grading/read/sheetreader.h"

#include <map>
#include <mutex>

#include "grading/read/printcheck.h"
#include "grading/read/readstages.h"
#include "grading/read/versionscache.h"

namespace scrivane {

using namespace sheetread;

namespace {

const QString kNoMarkers =
    QStringLiteral("no corner markers were found: this page is not an answer sheet");
const QString kOtherPaper = QStringLiteral(
    "this sheet belongs to another paper, or the paper's questions changed since printing");
const QString kTextsChanged = QStringLiteral("the paper's texts changed since printing");
// A sheet printed with an identity, read against a paper file without one (a
// copy saved by another program, a paper never printed): only its questions
// say it is this paper's.
const QString kNoIdentity = QStringLiteral(
    "the paper file has no identity to check this sheet by: make sure it is "
    "this paper's sheet");
const QString kNotPlacedSurely =
    QStringLiteral("the sheet could not be placed surely: check every answer");

}  // namespace

struct SheetReader::Impl {
    explicit Impl(std::vector<QuestionRecord> paper) : versions(std::move(paper)) {}

    VersionsCache versions;
    QString paperDigest;
    // The paper's digest by the first kept-options rule, so that sheets
    // printed under it are still this paper's.
    QString legacyPaperDigest;
    QString textDigest;
    // The paper's identity, empty for a paper never printed with one.
    QString paperId;
    // The markers and code stand where they do on every version of a paper
    // size; these layouts place them before the code tells the version.
    std::array<SheetPageLayout, 2> provisional;  // A4, Letter

    mutable std::mutex mutex;
    mutable std::map<QByteArray, std::shared_ptr<const BlankSheet>> blanks;

    // The blank sheet of a code's version, measured once per code.
    std::shared_ptr<const BlankSheet> BlankFor(const SheetPageLayout& layout,
                                               const PaperVersion& version,
                                               const SheetCode& code) const {
        const QByteArray key = code.Encode();
        {
            std::lock_guard lock(mutex);
            if (auto it = blanks.find(key); it != blanks.end()) return it->second;
        }
        const QImage render = RenderBlankSheet(layout, version, code, kUprightDpi)
                                  .convertToFormat(QImage::Format_Grayscale8);
        auto blank = std::make_shared<const BlankSheet>(MeasureBlank(render, layout));
        std::lock_guard lock(mutex);
        return blanks.emplace(key, std::move(blank)).first->second;
    }

    // The paper's digest by the kept-options rule a sheet was printed with.
    const QString& PaperDigestFor(const SheetCode& code) const {
        return code.versions.keptOptions == kCurrentKeptOptionsRule ? paperDigest
                                                                    : legacyPaperDigest;
    }

    // Why a sheet with this code is not one of this paper, or an empty
    // text. Where the sheet and the paper both carry an identity it decides,
    // and the digests tell what changed; else the digests alone.
    QString IdentityRefusal(const SheetCode& code) const {
        const bool bothKnown = !code.paperId.isEmpty() && !paperId.isEmpty();
        if (bothKnown && code.paperId != paperId)
            return QStringLiteral("this sheet belongs to another paper");
        if (code.paperDigest == PaperDigestFor(code)) return {};
        return bothKnown ? QStringLiteral("the paper's questions changed since printing")
                         : kOtherPaper;
    }

    const PaperVersion* Identify(const cv::Mat& work, const Located& found,
                                 const std::optional<SheetCode>& printedWith, PageRead& out) const;
    PageRead Read(const ScanImage& page, const std::optional<SheetCode>& printedWith) const;
};

// Which sheet the page is: its code, or without one its version squares and
// the print settings of another sheet; checked against the paper. Sets the
// page's code, version, layout and doubts, and gives its version; nothing
// (with the reason) when the page is no sheet of this paper.
const PaperVersion* SheetReader::Impl::Identify(const cv::Mat& work, const Located& found,
                                                const std::optional<SheetCode>& printedWith,
                                                PageRead& out) const {
    std::optional<SheetCode> code = found.code;
    if (!code) {
        const SheetPageLayout& layout = provisional[std::size_t(found.sizeIndex)];
        const QString version =
            ReadVersionSquares(work, MarkersToImage(layout, *found.corners), layout.versionSquares);
        if (version.isEmpty() || !printedWith ||
            printedWith->paperDigest != PaperDigestFor(*printedWith)) {
            out.reasons << QStringLiteral(
                "the sheet's code could not be read: this page is not an answer sheet, "
                "or its code is damaged");
            out.codeMissing = !version.isEmpty();
            return nullptr;
        }
        code = printedWith;
        code->version = version;
        out.reasons << QStringLiteral(
            "the sheet's code could not be read; its version was read from the squares");
    }
    out.code = code;
    if (const QString refusal = IdentityRefusal(*code); !refusal.isEmpty()) {
        out.reasons = QStringList{refusal};
        return nullptr;
    }
    if (!code->paperId.isEmpty() && paperId.isEmpty()) out.reasons << kNoIdentity;
    if (code->textDigest != textDigest) out.reasons << kTextsChanged;

    const PaperVersion* version = versions.Find(code->versions, code->version);
    if (!version) {
        out.reasons =
            QStringList{QStringLiteral("the sheet's version %1 is not one the paper was printed in")
                            .arg(code->version)};
        return nullptr;
    }
    out.version = version->name;
    out.layout = LayOutAnswerSheet(*version, code->idDigits, code->letterPaper);
    if (out.layout.markers.size() != 4) {
        out.reasons = QStringList{QStringLiteral("the sheet's layout has no corner markers")};
        return nullptr;
    }
    return version;
}

PageRead SheetReader::Impl::Read(const ScanImage& page,
                                 const std::optional<SheetCode>& printedWith) const {
    PageRead out;
    const std::optional<cv::Mat> work = Prepare(page, &out.reasons);
    if (!work) return out;

    const Located found = Locate(*work, provisional);
    if (!found.corners && !found.code) {
        out.reasons << (found.squares.empty()
                            ? kNoMarkers
                            : QStringLiteral("the four corner markers were not found: this page is "
                                             "not an answer sheet, or a corner is missing"));
        return out;
    }

    const PaperVersion* version = Identify(*work, found, printedWith, out);
    if (!version) return out;

    const std::optional<Placement> placement = Register(*work, found, out.layout);
    if (!placement) {
        out.reasons = QStringList{kNoMarkers};
        return out;
    }

    // A code copied onto another sheet reads every bubble against the wrong
    // layout: what the print shows must agree with it.
    out.reasons << PrintDisagreements(placement->upright, kUprightScale, out.layout, *out.code);

    const Ink ink = CalibrateInk(*placement, out.layout);
    const auto blank = BlankFor(out.layout, *version, *out.code);
    out.bubbles = Classify(*work, *placement, ink, out.layout, *blank);
    if (!placement->sure) out.reasons << kNotPlacedSurely;

    const cv::Mat& upright = placement->upright;
    out.upright = QImage(upright.data, upright.cols, upright.rows, int(upright.step),
                         QImage::Format_Grayscale8)
                      .copy();
    out.pointsToUpright = QTransform::fromScale(kUprightScale, kUprightScale);
    out.status = PageRead::Status::Read;
    return out;
}

SheetReader::SheetReader(std::vector<QuestionRecord> paper, QString modeLetters)
    : impl_(std::make_unique<Impl>(paper)) {
    impl_->paperDigest = PaperDigest(paper, modeLetters);
    impl_->legacyPaperDigest = PaperDigest(paper, modeLetters, KeptOptionsRule::Phrases);
    impl_->textDigest = TextDigest(paper);
    VersionSettings settings;
    settings.blankOptionLetters = int(modeLetters.size());
    const std::vector<PaperVersion> plain = BuildVersions(paper, settings);
    const PaperVersion first = plain.empty() ? PaperVersion{} : plain.front();
    impl_->provisional[0] = LayOutAnswerSheet(first, kDefaultIdDigits, false);
    impl_->provisional[1] = LayOutAnswerSheet(first, kDefaultIdDigits, true);
}

SheetReader::SheetReader(std::vector<QuestionRecord> paper, QString modeLetters, QString paperId)
    : SheetReader(std::move(paper), std::move(modeLetters)) {
    impl_->paperId = std::move(paperId);
}

SheetReader::~SheetReader() = default;

PageRead SheetReader::Read(const ScanImage& page,
                           const std::optional<SheetCode>& printedWith) const {
    try {
        return impl_->Read(page, printedWith);
    } catch (const std::exception& e) {
        // OpenCV reports what it cannot do by throwing; one page never stops
        // the others.
        PageRead out;
        out.reasons << QStringLiteral("the page could not be read: %1")
                           .arg(QString::fromLocal8Bit(e.what()));
        return out;
    }
}

}  // namespace scrivane
