#include "print/versions/printmemory.h"

#include <QFileInfo>
#include <QSettings>

#include "core/settingsfile.h"
#include "print/versions/studentnumber.h"
#include <algorithm>

namespace scrivane {

namespace {

const QString kGroup = QStringLiteral("printSettings");
const QString kArray = QStringLiteral("papers");
const QString kPath = QStringLiteral("path");

// One file under two spellings is one entry.
QString Canonical(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

QVariantMap ToEntry(const QString& path, const PrintSettings& s) {
    return {{kPath, path},
            {QStringLiteral("heading"), s.heading},
            {QStringLiteral("subheading"), s.subheading},
            {QStringLiteral("nameLines"), s.nameLines},
            {QStringLiteral("marks"), s.marks},
            {QStringLiteral("paper"), s.paper},
            {QStringLiteral("key"), s.key},
            {QStringLiteral("answerSheet"), s.answerSheet},
            {QStringLiteral("versions"), s.versions.count},
            {QStringLiteral("shuffleQuestions"), s.versions.shuffleQuestions},
            {QStringLiteral("shuffleOptions"), s.versions.shuffleOptions},
            {QStringLiteral("idDigits"), s.idDigits},
            // As text, so that every seed up to 4294967295 reads back whole.
            {QStringLiteral("seed"), QString::number(s.versions.seed)}};
}

// A value that is missing or not of its kind leaves the setting as it was.
void ReadBool(const QVariantMap& entry, const char* key, bool& value) {
    const QString text = entry.value(QString::fromLatin1(key)).toString().trimmed().toLower();
    if (text == QStringLiteral("true") || text == QStringLiteral("1"))
        value = true;
    else if (text == QStringLiteral("false") || text == QStringLiteral("0"))
        value = false;
}

void ReadText(const QVariantMap& entry, const char* key, QString& value) {
    const QVariant found = entry.value(QString::fromLatin1(key));
    if (found.isValid()) value = found.toString();
}

void FromEntry(const QVariantMap& entry, PrintSettings& s) {
    ReadText(entry, "heading", s.heading);
    ReadText(entry, "subheading", s.subheading);
    ReadBool(entry, "nameLines", s.nameLines);
    ReadBool(entry, "marks", s.marks);
    ReadBool(entry, "paper", s.paper);
    ReadBool(entry, "key", s.key);
    ReadBool(entry, "answerSheet", s.answerSheet);
    ReadBool(entry, "shuffleQuestions", s.versions.shuffleQuestions);
    ReadBool(entry, "shuffleOptions", s.versions.shuffleOptions);
    bool ok = false;
    const int count = entry.value(QStringLiteral("versions")).toString().toInt(&ok);
    if (ok) s.versions.count = std::clamp(count, 1, kMaxVersions);
    const std::uint32_t seed = entry.value(QStringLiteral("seed")).toString().toUInt(&ok);
    if (ok) s.versions.seed = seed;
    const int digits = entry.value(QStringLiteral("idDigits")).toString().toInt(&ok);
    if (ok) s.idDigits = std::clamp(digits, 0, kMaxIdDigits);
}

}  // namespace

std::vector<QVariantMap> ReadSettingsArray(QSettings& settings, const QString& group,
                                           const QString& array, int limit) {
    std::vector<QVariantMap> entries;
    settings.beginGroup(group);
    // A damaged size costs no more than the entries that are kept.
    const int size = std::clamp(settings.beginReadArray(array), 0, limit);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        QVariantMap entry;
        for (const QString& key : settings.childKeys()) entry.insert(key, settings.value(key));
        entries.push_back(std::move(entry));
    }
    settings.endArray();
    settings.endGroup();
    return entries;
}

bool WriteSettingsArray(QSettings& settings, const QString& group, const QString& array,
                        const std::vector<QVariantMap>& entries) {
    settings.beginGroup(group);
    settings.remove(array);
    settings.beginWriteArray(array, int(entries.size()));
    for (int i = 0; i < int(entries.size()); ++i) {
        settings.setArrayIndex(i);
        for (auto it = entries[std::size_t(i)].begin(); it != entries[std::size_t(i)].end(); ++it)
            settings.setValue(it.key(), it.value());
    }
    settings.endArray();
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

std::vector<QVariantMap> PrintMemory::Entries() const {
    const std::unique_ptr<QSettings> settings = settings_ ? settings_->Open() : nullptr;
    return settings ? ReadSettingsArray(*settings, kGroup, kArray, kLimit) : memory_;
}

bool PrintMemory::Recall(const QString& paperFile, PrintSettings& settings) const {
    if (paperFile.isEmpty()) return false;
    const QString path = Canonical(paperFile);
    for (const QVariantMap& entry : Entries()) {
        if (entry.value(kPath).toString() != path) continue;
        FromEntry(entry, settings);
        return true;
    }
    return false;
}

void PrintMemory::Keep(const QString& paperFile, const PrintSettings& settings) {
    if (paperFile.isEmpty()) return;
    const QString path = Canonical(paperFile);
    std::vector<QVariantMap> entries{ToEntry(path, settings)};
    for (const QVariantMap& entry : Entries()) {
        if (int(entries.size()) == kLimit) break;
        const QString other = entry.value(kPath).toString();
        if (!other.isEmpty() && other != path) entries.push_back(entry);
    }
    const std::unique_ptr<QSettings> file = settings_ ? settings_->Open() : nullptr;
    if (file)
        WriteSettingsArray(*file, kGroup, kArray, entries);
    else
        memory_ = std::move(entries);
}

}  // namespace scrivane
