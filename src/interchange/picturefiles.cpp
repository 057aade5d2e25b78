#include "interchange/picturefiles.h"

#include <QSet>

namespace scrivane::interchange {

namespace {

QString ExtensionOf(const QString& format) {
    return format == u"jpeg" ? QStringLiteral("jpg") : format;
}

// Where a picture sits, for the notes.
QString BoxName(int box) {
    return box == kPictureTitle ? QStringLiteral("the question")
                                : QStringLiteral("option %1").arg(QChar(u'A' + box - 1));
}

}  // namespace

QString PictureFormatOf(QByteArrayView bytes) {
    if (bytes.startsWith("\x89PNG\r\n\x1A\n")) return QStringLiteral("png");
    if (bytes.startsWith("\xFF\xD8\xFF")) return QStringLiteral("jpeg");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a")) return QStringLiteral("gif");
    // An SVG is XML whose first element is <svg>, past a declaration,
    // comments and blanks; only its start is looked at.
    QByteArrayView start = bytes.first(std::min<qsizetype>(bytes.size(), 4096));
    if (start.startsWith("\xEF\xBB\xBF")) start = start.sliced(3);
    while (!start.isEmpty()) {
        start = start.trimmed();
        if (start.startsWith("<?") || start.startsWith("<!--")) {
            const qsizetype end = start.indexOf(start.startsWith("<?") ? "?>" : "-->");
            if (end < 0) break;
            start = start.sliced(end + (start.startsWith("<?") ? 2 : 3));
            continue;
        }
        if (start.startsWith("<svg") && start.size() > 4 &&
            (start[4] == '>' || start[4] == ' ' || start[4] == '\n' || start[4] == '\r' ||
             start[4] == '\t' || start[4] == '/'))
            return QStringLiteral("svg");
        break;
    }
    return {};
}

QString SafePictureName(const QString& name, const QString& format) {
    QString last = name.section(u'/', -1).section(u'\\', -1);
    QString clean;
    for (const QChar c : last)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F && !QStringLiteral("\"'<>:*?|&%").contains(c))
            clean += c;
    clean = clean.trimmed();
    while (clean.startsWith(u'.')) clean.remove(0, 1);  // "..", ".hidden"
    const QString extension = ExtensionOf(format);
    const QString suffix = clean.section(u'.', -1).toLower();
    const bool fits = clean.contains(u'.') &&
                      (suffix == extension || (format == u"jpeg" && suffix == u"jpeg"));
    if (clean.isEmpty()) clean = QStringLiteral("picture");
    if (!fits && !extension.isEmpty()) clean += u'.' + extension;
    // Long names stay readable in a file list and fit every file system.
    if (clean.size() > 100) clean = clean.left(90) + u'.' + (extension.isEmpty() ? QStringLiteral("bin") : extension);
    return clean;
}

std::vector<QStringList> WrittenPictureNames(const QuestionPictures& pictures) {
    std::vector<QStringList> names(pictures.size());
    QSet<QString> taken;  // compared without case, as file systems may
    for (std::size_t box = 0; box < pictures.size(); ++box)
        for (const Picture& picture : pictures[box]) {
            const QString safe = SafePictureName(picture.Name, picture.Format);
            QString name = safe;
            const qsizetype dot = safe.lastIndexOf(u'.');
            for (int n = 2; taken.contains(name.toLower()); ++n)
                name = dot < 0 ? QStringLiteral("%1-%2").arg(safe).arg(n)
                               : QStringLiteral("%1-%2%3").arg(safe.left(dot)).arg(n).arg(safe.mid(dot));
            taken.insert(name.toLower());
            names[box] << name;
        }
    return names;
}

std::vector<QuestionRecord> TextOnly(const std::vector<QuestionRecord>& questions) {
    std::vector<QuestionRecord> out = questions;
    for (QuestionRecord& question : out) {
        if (!IsFilledText(question.Title) && !question.Pictures[kPictureTitle].isEmpty())
            question.Title = kPictureStandIn;
        for (int i = 0; i < 6; ++i)
            if (!IsFilledText(question.Items[std::size_t(i)]) &&
                !question.Pictures[std::size_t(PictureBoxOfItem(i))].isEmpty())
                question.Items[std::size_t(i)] = kPictureStandIn;
        question.Pictures = {};
    }
    return out;
}

QStringList PicturesLeftOut(const std::vector<QuestionRecord>& questions,
                            const QString& formatName) {
    QStringList notes;
    int number = 0;
    for (const QuestionRecord& question : questions) {
        ++number;
        if (!HasPictures(question.Pictures)) continue;
        const std::vector<QStringList> names = WrittenPictureNames(question.Pictures);
        QStringList named;
        for (std::size_t box = 0; box < names.size(); ++box)
            for (const QString& name : names[box])
                named << QStringLiteral("%1 (%2)").arg(name, BoxName(int(box)));
        notes << QStringLiteral("question %1: %2 does not carry pictures: %3 %4 left out")
                     .arg(number)
                     .arg(formatName, named.join(QStringLiteral(", ")),
                          named.size() == 1 ? QStringLiteral("is") : QStringLiteral("are"));
    }
    return notes;
}

}  // namespace scrivane::interchange
