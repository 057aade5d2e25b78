// Moodle XML question banks: multichoice questions in, multichoice out.
#pragma once

#include <QByteArray>
#include <vector>

#include "core/questionrecord.h"
#include "interchange/questions.h"

namespace scrivane::interchange {

// Reads the multichoice questions; every other type and the categories are
// skipped and counted. Malformed XML refuses the whole file.
// The pictures of question texts and answers come in as Moodle writes them:
// each <img src="@@PLUGINFILE@@/name.png"> with the <file name="name.png"
// path="/" encoding="base64"> beside its text. A picture the file does not
// hold (a web address, a missing file) is noted as lost; one that is not a
// PNG, JPEG or SVG picture, or larger than a paper takes, is noted by name.
ReadOutcome ReadMoodleXml(const QByteArray& content);

// One <question type="multichoice"> per question, UTF-8, each picture under
// its text as Moodle writes it, under a name unique within the question.
QByteArray WriteMoodleXml(const std::vector<QuestionRecord>& questions);

// The size WriteMoodleXml's file would have, without making the pictures'
// base64.
qsizetype MoodleXmlSize(const std::vector<QuestionRecord>& questions);

}  // namespace scrivane::interchange
