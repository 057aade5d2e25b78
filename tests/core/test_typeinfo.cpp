#include <sys/stat.h>
#include <unistd.h>
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
        test::FakePrompts prompts;
        TypeInfoRecord record;
        record.AnswerType = 99;
        ReadTypeInfo(Folder(dir), prompts, record);
        QCOMPARE(int(record.AnswerType), answerType);
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

        QTemporaryDir locked;
        ::chmod(locked.path().toLocal8Bit().constData(), 0500);
        test::FakePrompts prompts2;
        ReadTypeInfo(Folder(locked) / "missing-subfolder", prompts2, record);
        QCOMPARE(int(record.AnswerType), 0);
        QCOMPARE(prompts2.Texts(), QStringList{"Type Information Error!"});
        ::chmod(locked.path().toLocal8Bit().constData(), 0700);
    }
};

static test::RegisterTest<TypeInfoTest> registerTypeInfo;
#include "test_typeinfo.moc"
