#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "core/typeinfo.h"
#include "coretests.h"
#include "fakeseams.h"

using namespace scrivane;

namespace {

std::filesystem::path Folder(const QTemporaryDir& dir) {
    return dir.path().toStdString();
}

void WriteBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> Record(std::int16_t answerType, std::int16_t check) {
    TypeInfoRecord r;
    r.AnswerType = answerType;
    r.CheckValue = check;
    const auto bytes = r.ToBytes();
    return {bytes.begin(), bytes.end()};
}

}  // namespace

class TypeInfoTest : public QObject {
    Q_OBJECT
private slots:
    void variants_data() {
        QTest::addColumn<int>("kind");  // 0 valid, 1 wrong check, 2 missing, 3 short, 4 longer
        QTest::addColumn<int>("answerType");
        QTest::addColumn<bool>("warned");
        QTest::newRow("valid multiple-answer file") << 0 << 3 << false;
        QTest::newRow("check value 1717") << 1 << 4 << true;
        QTest::newRow("missing file") << 2 << 0 << true;
        QTest::newRow("short file keeps what it holds") << 3 << 3 << true;
        QTest::newRow("only the first record counts") << 4 << 2 << false;
    }
    void variants() {
        QFETCH(int, kind);
        QFETCH(int, answerType);
        QFETCH(bool, warned);
        QTemporaryDir dir;
        const auto path = Folder(dir) / "TypeInfo.con";
        if (kind == 0) WriteBytes(path, Record(3, 1718));
        if (kind == 1) WriteBytes(path, Record(4, 1717));
        if (kind == 3) WriteBytes(path, {0, 0, 3, 0, 9, 9});
        if (kind == 4) {
            auto bytes = Record(2, 1718);
            const auto second = Record(5, 1);
            bytes.insert(bytes.end(), second.begin(), second.end());
            WriteBytes(path, bytes);
        }
        // The converter reads the same answer type without a word, creating nothing.
        const std::int16_t quiet = ReadAnswerType(Folder(dir));
        QCOMPARE(std::filesystem::exists(path), kind != 2);
        test::FakePrompts prompts;
        TypeInfoRecord record;
        record.AnswerType = 99;
        ReadTypeInfo(Folder(dir), prompts, record);
        QCOMPARE(int(record.AnswerType), answerType);
        QCOMPARE(int(quiet), answerType);
        QCOMPARE(prompts.messages.size(), std::size_t(warned ? 1 : 0));
        if (warned) {
            QCOMPARE(prompts.messages[0].text, QString("Type Information Error!"));
            QCOMPARE(prompts.messages[0].title, QString("Scrivane"));
            QVERIFY(prompts.messages[0].buttons == MsgButtons::Ok);
        }
        if (kind == 2) {
            QVERIFY(std::filesystem::exists(path));
            QCOMPARE(std::filesystem::file_size(path), std::uintmax_t(0));
        }
        if (kind == 3) QCOMPARE(int(record.Numeric[0]), 9);
    }

    // A folder the program cannot write or a file it cannot read does not end
    // the program: it warns and starts in single-answer mode.
    void unreadableStartsInSingleAnswerMode() {
        QTemporaryDir dir;
        const auto path = Folder(dir) / "TypeInfo.con";
        std::filesystem::create_directory(path);  // unreadable as a file, even for root
        test::FakePrompts prompts;
        TypeInfoRecord record;
        ReadTypeInfo(Folder(dir), prompts, record);
        QCOMPARE(int(record.AnswerType), 0);
        QCOMPARE(prompts.Texts(), QStringList{"Type Information Error!"});

        // A pipe in its place would block a plain open: it is not read at all.
        QTemporaryDir piped;
        QCOMPARE(::mkfifo((Folder(piped) / "TypeInfo.con").c_str(), 0600), 0);
        test::FakePrompts prompts3;
        ReadTypeInfo(Folder(piped), prompts3, record);
        QCOMPARE(prompts3.Texts(), QStringList{"Type Information Error!"});
        QCOMPARE(int(ReadAnswerType(Folder(piped))), 0);
        QCOMPARE(int(ReadAnswerType(Folder(dir))), 0);

        QTemporaryDir locked;
        ::chmod(locked.path().toLocal8Bit().constData(), 0500);
        test::FakePrompts prompts2;
        ReadTypeInfo(Folder(locked) / "missing-subfolder", prompts2, record);
        QCOMPARE(int(record.AnswerType), 0);
        QCOMPARE(prompts2.Texts(), QStringList{"Type Information Error!"});
        ::chmod(locked.path().toLocal8Bit().constData(), 0700);
    }

    // Only AnswerType's two bytes change: the texts, the other numbers and
    // any tail stay byte for byte, the file keeps its length and its
    // permissions, and a link is written through.
    void answerTypeChangesOnlyItsTwoBytes_data() {
        QTest::addColumn<int>("tail");
        QTest::addColumn<bool>("linked");
        QTest::newRow("record") << 0 << false;
        QTest::newRow("record with a longer tail") << 70000 << false;
        QTest::newRow("through a link") << 3 << true;
    }
    void answerTypeChangesOnlyItsTwoBytes() {
        QFETCH(int, tail);
        QFETCH(bool, linked);
        QTemporaryDir dir;
        const auto path = Folder(dir) / "TypeInfo.con";
        std::vector<std::uint8_t> bytes(std::size_t(TypeInfoRecord::kSize + tail));
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 7 + 1);
        bytes[60] = 1718 & 0xFF;
        bytes[61] = 1718 >> 8;
        WriteBytes(path, bytes);
        ::chmod(path.c_str(), 0640);
        auto written = path;
        if (linked) {
            written = Folder(dir) / "link.con";
            std::filesystem::create_symlink(path, written);
        }
        QCOMPARE(WriteAnswerType(written, 3).outcome, AnswerTypeWrite::Outcome::Written);
        auto expected = bytes;
        expected[2] = 3;
        expected[3] = 0;
        QCOMPARE(ReadBytes(path), expected);
        QVERIFY(!linked || std::filesystem::is_symlink(written));
        struct stat st {};
        QCOMPARE(::stat(path.c_str(), &st), 0);
        QCOMPARE(int(st.st_mode & 0777), 0640);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(),
                 linked ? 2 : 1);  // no temporary file left
    }

    // A missing or empty file gets a fresh record; a short one or one
    // without the check value, and anything that is not a regular file, is
    // left as it is without being opened.
    void answerTypeRefusals_data() {
        QTest::addColumn<int>("kind");  // 0 missing, 1 empty, 2 short, 3 no check value, 4 pipe,
                                        // 5 folder, 6 read-only
        QTest::addColumn<int>("outcome");
        using O = AnswerTypeWrite::Outcome;
        QTest::newRow("missing") << 0 << int(O::Written);
        QTest::newRow("empty") << 1 << int(O::Written);
        QTest::newRow("one byte") << 2 << int(O::NotARecord);
        QTest::newRow("115 bytes") << 7 << int(O::NotARecord);
        QTest::newRow("no 1718") << 3 << int(O::NotARecord);
        QTest::newRow("pipe") << 4 << int(O::Failed);
        QTest::newRow("folder") << 5 << int(O::Failed);
        QTest::newRow("read-only") << 6 << int(O::Failed);
    }
    void answerTypeRefusals() {
        QFETCH(int, kind);
        QFETCH(int, outcome);
        QTemporaryDir dir;
        const auto path = Folder(dir) / "TypeInfo.con";
        std::vector<std::uint8_t> before;
        if (kind == 1) WriteBytes(path, {});
        if (kind == 2) before = {3};
        if (kind == 7) before = std::vector<std::uint8_t>(115, 0x41);
        if (kind == 3 || kind == 6) before = Record(2, 1717);
        if (kind == 6) before = Record(2, 1718);
        if (!before.empty()) WriteBytes(path, before);
        if (kind == 4) QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
        if (kind == 5) std::filesystem::create_directory(path);
        if (kind == 6) ::chmod(path.c_str(), 0444);
        const AnswerTypeWrite result = WriteAnswerType(path, 3);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.reason.isEmpty(), outcome != int(AnswerTypeWrite::Outcome::Failed));
        if (kind <= 1) {
            QCOMPARE(ReadBytes(path), Record(3, 1718));
        } else if (!before.empty()) {
            QCOMPARE(ReadBytes(path), before);
        }
        if (kind == 4) QVERIFY(std::filesystem::is_fifo(path));
    }
};

static test::RegisterTest<TypeInfoTest> registerTypeInfo;
#include "test_typeinfo.moc"
