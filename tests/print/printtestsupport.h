// What the print tests share: small papers, the text of a PDF through
// pdftotext, and the versions a layout was given.
#pragma once

#include <QBuffer>
#include <QFile>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

#include "core/questionrecord.h"
#include "print/layout/printlayout.h"
#include "print/versions/versions.h"

namespace scrivane::test {

inline QuestionRecord Question(float score, const QString& answer, const QString& title,
                               std::array<QString, 6> items) {
    QuestionRecord record;
    record.Score = score;
    record.Answer = AnswerTextToMask(answer);
    record.Title = title;
    record.Items = std::move(items);
    return record;
}

// The text poppler reads from a PDF, page by page (pages end in a form feed).
inline QString PdfText(const QString& pdf, bool layout = true) {
    QProcess process;
    QStringList arguments;
    if (layout) arguments << QStringLiteral("-layout");
    arguments << QStringLiteral("-enc") << QStringLiteral("UTF-8") << pdf << QStringLiteral("-");
    process.start(QStringLiteral("pdftotext"), arguments);
    if (!process.waitForFinished(60000)) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The pages' text without their footers, so that a question running over a
// page break reads as one.
inline QStringList PdfPages(const QString& pdf) {
    static const QRegularExpression footer(QStringLiteral("\\n[^\\n]*Page \\d+ of \\d+\\s*$"));
    QStringList pages = PdfText(pdf).split(u'\f');
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty()) pages.removeLast();
    for (QString& page : pages) page.remove(footer);
    return pages;
}

// Text without any blanks, so that wrapping and column gaps do not matter.
inline QString Squeezed(QString text) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return text.remove(blanks);
}

// Lays the paper out as a PDF in dir and returns its path.
inline QString RenderPdf(const QTemporaryDir& dir, PrintLayout& layout,
                         const QString& name = QStringLiteral("print.pdf")) {
    const QString path = dir.filePath(name);
    const QString error = WritePdf(path, layout, QLocale(QLocale::English, QLocale::UnitedKingdom));
    return error.isEmpty() ? path : QString();
}

}  // namespace scrivane::test
