#include "dialogs/dialogquicknew.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <cctype>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include "core/numbers.h"
#include "dialogs/markkeyfilter.h"
#include "dialogs/twips.h"

namespace scrivane {

namespace {

constexpr int kMinAmount = 1;
constexpr int kMaxAmount = kMaxQuestions;

// The value of a box: leading blanks are skipped and the longest leading
// part that forms a decimal number is read, so a blank inside ends the
// number ("1 2" is 1) and &H or &O prefixes are no number at all. Then
// rounded, halves to even; nothing outside 16 bits.
std::optional<std::int16_t> ReadBox(const QLineEdit& box) {
    const QString text = box.text();
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t')) ++i;
    std::string number;
    for (; i < text.size() && text[i].unicode() < 0x80; ++i) number += char(text[i].unicode());
    const char* first = number.data();
    const char* last = first + number.size();
    // from_chars takes a minus sign but no plus sign.
    const bool plus = first != last && *first == '+';
    if (plus) ++first;
    const char* digits = !plus && first != last && *first == '-' ? first + 1 : first;
    if (digits == last || !(std::isdigit(static_cast<unsigned char>(*digits)) || *digits == '.'))
        return std::int16_t(0);
    double value = 0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too small is 0, too large has no 16-bit value.
        const std::string_view read(first, std::size_t(result.ptr - first));
        const auto e = read.find_first_of("eE");
        if (e != std::string_view::npos && e + 1 < read.size() && read[e + 1] == '-')
            return std::int16_t(0);
        return std::nullopt;
    }
    if (result.ec != std::errc()) return std::int16_t(0);
    return RoundToInt16(value);
}

QLabel* MakeLabel(QWidget& parent, const char* name, const QString& text, int x, int y) {
    auto* label = new QLabel(text, &parent);
    label->setObjectName(QString::fromLatin1(name));
    label->adjustSize();
    label->move(TwipsToPixelsX(parent, x), TwipsToPixelsY(parent, y));
    return label;
}

// A box or button with its text, objectName and place, in twips.
template <class Control>
Control* MakeControl(QWidget& parent, const char* name, const QString& text, int x, int y, int w,
                     int h) {
    auto* control = new Control(text, &parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(TwipsRect(parent, x, y, w, h));
    return control;
}

}  // namespace

DialogQuickNew::DialogQuickNew(Moddule1& state, Prompts& prompts, QWidget* parent)
    : QDialog(parent), state_(state), prompts_(prompts) {
    setObjectName(QStringLiteral("DialogQuickNew"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(TwipsSize(*this, 5070, 3015));

    // Form_Load assigns these captions; the hint labels and "10"s are design texts.
    setWindowTitle(QStringLiteral("Create New Paper quickly"));
    MakeLabel(*this, "Label1", QStringLiteral("Question amount:"), 480, 480);
    MakeLabel(*this, "Label2", QStringLiteral("Default score:"), 480, 1680);
    MakeLabel(*this, "Label3", QStringLiteral("(1-100)"), 1680, 960);
    MakeLabel(*this, "Label4", QStringLiteral("(0-250)"), 1680, 2160);

    TextScore_ =
        MakeControl<QLineEdit>(*this, "TextScore", QStringLiteral("10"), 480, 2040, 1095, 375);
    TextQuNo_ =
        MakeControl<QLineEdit>(*this, "TextQuNo", QStringLiteral("10"), 480, 840, 1095, 375);
    // Digits, backspace, '%' and the apostrophe are what the boxes take from
    // the keyboard.
    TextScore_->installEventFilter(new MarkKeyFilter(MarkKeyFilter::NoPoint, TextScore_));
    TextQuNo_->installEventFilter(new MarkKeyFilter(MarkKeyFilter::NoPoint, TextQuNo_));

    CancelButton_ = MakeControl<QPushButton>(*this, "CancelButton", QStringLiteral("Cancel"), 3720,
                                             1920, 1215, 495);
    OKButton_ =
        MakeControl<QPushButton>(*this, "OKButton", QStringLiteral("OK"), 3720, 840, 1215, 495);
    OKButton_->setDefault(true);
    connect(OKButton_, &QPushButton::clicked, this, &DialogQuickNew::OKButton_Click);
    connect(CancelButton_, &QPushButton::clicked, this, &DialogQuickNew::CancelButton_Click);

    setTabOrder(TextScore_, TextQuNo_);
    setTabOrder(TextQuNo_, CancelButton_);
    setTabOrder(CancelButton_, OKButton_);
    TextScore_->setFocus();

    state_.QuickNewResult = false;
}

void DialogQuickNew::OKButton_Click() {
    const std::optional<std::int16_t> mark = ReadBox(*TextScore_);
    if (!mark || !IsValidMark(*mark)) {
        ShowMessage(prompts_, QStringLiteral("The mark should be between 0 and 250."));
        TextScore_->setFocus();
        return;
    }
    // The mark takes effect before the amount is checked, even if that fails.
    state_.DefaultScore = float(*mark);

    const std::optional<std::int16_t> amount = ReadBox(*TextQuNo_);
    if (amount && *amount >= kMinAmount && *amount <= kMaxAmount) {
        state_.QuickQuestionCount = *amount;
        state_.QuickNewResult = true;
        accept();
        return;
    }
    ShowMessage(prompts_, QStringLiteral("The question amount should be between 1 and 100."));
    TextQuNo_->setFocus();
}

void DialogQuickNew::CancelButton_Click() {
    state_.QuickNewResult = false;
    reject();
}

}  // namespace scrivane
