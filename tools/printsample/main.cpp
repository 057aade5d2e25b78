// The sample print of the documentation: a short paper in several scripts,
// with pinned options and a mark of 2.5, in two shuffled versions with their
// keys and answer sheets. The README's pictures are its pages:
//   scrivane-print-sample sample.pdf && pdftoppm -png -r 70 sample.pdf page
// With --pictures it prints instead a short paper whose questions and
// options are graphs, in one version with its key.
#include <QGuiApplication>
#include <cstdio>

#include "print/layout/printlayout.h"
#include "print/versions/versions.h"
#include "samplegraphs.h"

using namespace scrivane;

namespace {

QuestionRecord Q(float score, const char* answer, const QString& title,
                 std::array<QString, 6> items) {
    QuestionRecord q;
    q.Score = score;
    q.Answer = AnswerTextToMask(QString::fromLatin1(answer));
    q.Title = title;
    q.Items = std::move(items);
    return q;
}

std::vector<QuestionRecord> SamplePaper() {
    return {
        Q(5, "B", "Which gas makes up most of the Earth's atmosphere?",
          {"Oxygen", "Nitrogen", "Carbon dioxide", "Argon", "", ""}),
        Q(2.5f, "AC", "Which of these numbers are prime?\n(Choose every correct answer.)",
          {"2", "4", "7", "9", "", ""}),
        Q(5, "D", "Which of these are mammals?",
          {"Whale", "Bat", "Dolphin", "All of the above", "", ""}),
        Q(2.5f, "A", QStringLiteral(u"Ποιο είναι το σύμβολο του νερού; / Какова формула воды?"),
          {QStringLiteral("H\u2082O"), QStringLiteral("CO\u2082"), QStringLiteral("NaCl"), "", "",
           ""}),
        Q(5, "C", QStringLiteral(u"下列哪个城市是中国的首都？"),
          {QStringLiteral(u"上海"), QStringLiteral(u"广州"), QStringLiteral(u"北京"),
           QStringLiteral(u"深圳"), "", ""}),
        Q(5, "B", QStringLiteral(u"ما هي عاصمة مصر؟"),
          {QStringLiteral(u"الإسكندرية"), QStringLiteral(u"القاهرة"), QStringLiteral(u"أسوان"), "",
           "", ""}),
        Q(5, "E",
          "A ball is thrown straight up and comes back down. Ignoring the air, which statement "
          "about its acceleration is true while it is in the air?",
          {"It points up on the way up and down on the way down.",
           "It is zero at the highest point.", "It grows as the ball falls.",
           "It depends on the mass of the ball.",
           "It stays the same, pointing down, the whole time.", "None of the above"}),
        Q(5, "B", "Which layer of the Sun do we see as its surface?",
          {"Corona", "Photosphere", "Chromosphere", "Core", "", ""}),
    };
}

// Two questions of graphs: one under the title, and one in each option.
std::vector<QuestionRecord> PicturePaper() {
    QuestionRecord first =
        Q(5, "B",
          "The graph shows a cyclist's distance from home. "
          "What was the cyclist doing between the 4th and the 7th minute?",
          {"Riding away from home", "Standing still", "Riding home", "Speeding up", "", ""});
    first.Pictures[kPictureTitle] = {
        sample::Graph(QStringLiteral("cyclist.svg"), QStringLiteral("time"),
                      QStringLiteral("distance"), QStringLiteral("0,0 4,6 7,6 10,9"))};
    QuestionRecord second = Q(5, "C",
                              "Which graph shows a ball falling from rest, "
                              "its speed against time, without air?",
                              {"", "", "", "", "", ""});
    const char* lines[4] = {"0,5 10,5", "0,0 3,8 10,9", "0,0 10,9", "0,9 10,0"};
    for (int i = 0; i < 4; ++i)
        second.Pictures[std::size_t(PictureBoxOfItem(i))] = {sample::Graph(
            QStringLiteral("graph-%1.svg").arg(QChar(u'a' + i)), QStringLiteral("time"),
            QStringLiteral("speed"), QString::fromLatin1(lines[i]))};
    return {first, second};
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const bool pictures = argc == 3 && QByteArray(argv[2]) == "--pictures";
    if (argc != 2 && !pictures) {
        std::fputs("usage: scrivane-print-sample OUT.pdf [--pictures]\n", stderr);
        return 2;
    }
    const std::vector<QuestionRecord> paper = pictures ? PicturePaper() : SamplePaper();
    PrintSettings settings;
    settings.heading = QStringLiteral("Science, unit 3");
    settings.subheading = QStringLiteral("Class 9B \u2013 40 minutes");
    settings.answerSheet = true;
    settings.versions = {pictures ? 1 : 2, true, true, 271828};
    if (pictures) settings.answerSheet = false;
    settings.paperDigest = PaperDigest(paper, ModeLetters(settings.versions));
    settings.textDigest = TextDigest(paper);
    PrintLayout layout(BuildVersions(paper, settings.versions), settings,
                       QLocale(QLocale::English, QLocale::UnitedKingdom));
    const QString error = WritePdf(QString::fromLocal8Bit(argv[1]), layout,
                                   QLocale(QLocale::English, QLocale::UnitedKingdom));
    if (!error.isEmpty()) {
        std::fprintf(stderr, "scrivane-print-sample: %s\n", qPrintable(error));
        return 2;
    }
    return 0;
}
