// Writing .xls files: an existing file is replaced whole or not at all, and
// no temporary file is left behind either way.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "ordinary_user.h"
#include "spreadsheet/codec/biff8_writer.h"

namespace scrivane::codec {
namespace {

namespace fs = std::filesystem;

Workbook Book(const std::string& text) {
    Workbook book;
    Worksheet ws;
    ws.Set(1, 1, Cell::Text(text));
    ws.Set(2, 1, Cell::Number(12.5));
    book.sheets.push_back(ws);
    return book;
}

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Entries(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class WriterFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/scrivane-writer-file-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir_ = pattern;
    }
    void TearDown() override {
        chmod(dir_.c_str(), 0700);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path dir_;
};

TEST_F(WriterFileTest, CreatesThenReplacesAndKeepsPermissions) {
    const fs::path target = dir_ / "paper.xls";
    WriteBiff8File(Book("first"), target);
    EXPECT_EQ(WriteBiff8Bytes(Book("first")), ReadAll(target));
    EXPECT_EQ(std::vector<std::string>{"paper.xls"}, Entries(dir_));
    struct stat st {};
    ASSERT_EQ(0, stat(target.c_str(), &st));
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(0666 & ~mask, st.st_mode & 0777)
        << "a new file gets the usual permissions, not mkstemp's 0600";

    ASSERT_EQ(0, chmod(target.c_str(), 0640));
    WriteBiff8File(Book("second"), target);
    EXPECT_EQ(WriteBiff8Bytes(Book("second")), ReadAll(target));
    EXPECT_EQ(std::vector<std::string>{"paper.xls"}, Entries(dir_));
    ASSERT_EQ(0, stat(target.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 0777) << "a replaced file keeps its permissions";
}

TEST_F(WriterFileTest, LongAndRelativeNames) {
    // The temporary's name must stay within the limit when the target's is at it.
    const std::string longName = std::string(251, 'n') + ".xls";
    WriteBiff8File(Book("long"), dir_ / longName);
    EXPECT_EQ(std::vector<std::string>{longName}, Entries(dir_));
    fs::remove(dir_ / longName);

    const fs::path before = fs::current_path();
    fs::current_path(dir_);
    WriteBiff8File(Book("here"), "relative.xls");
    fs::current_path(before);
    EXPECT_EQ(WriteBiff8Bytes(Book("here")), ReadAll(dir_ / "relative.xls"));
    EXPECT_EQ(std::vector<std::string>{"relative.xls"}, Entries(dir_));
}

TEST_F(WriterFileTest, FailuresLeaveTheOldFileAndNoTemporary) {
    // A folder that does not exist.
    try {
        WriteBiff8File(Book("x"), dir_ / "missing" / "paper.xls");
        ADD_FAILURE() << "no error";
    } catch (const WorkbookError& e) {
        EXPECT_STREQ(std::strerror(ENOENT), e.what());
    }

    // A target that is a folder: the temporary is written, the rename fails.
    const fs::path folder = dir_ / "folder.xls";
    fs::create_directory(folder);
    fs::path kept = folder / "inside.txt";
    std::ofstream(kept) << "keep";
    EXPECT_THROW(WriteBiff8File(Book("x"), folder), WorkbookError);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(std::vector<std::string>{"folder.xls"}, Entries(dir_));
    EXPECT_EQ(std::vector<std::string>{"inside.txt"}, Entries(folder));

    // A book that BIFF8 cannot hold touches nothing.
    const fs::path target = dir_ / "paper.xls";
    WriteBiff8File(Book("old"), target);
    const std::vector<std::uint8_t> old = ReadAll(target);
    EXPECT_THROW(WriteBiff8File(Workbook{}, target), WorkbookError);
    EXPECT_EQ(old, ReadAll(target));
    EXPECT_EQ((std::vector<std::string>{"folder.xls", "paper.xls"}), Entries(dir_));
}

using scrivane::testing::AsOrdinaryUser;

std::string ErrorOf(const fs::path& target) {
    try {
        WriteBiff8File(Book("new"), target);
    } catch (const WorkbookError& e) {
        return e.what();
    }
    return "(written)";
}

TEST_F(WriterFileTest, ReadOnlyFolderAndFilesKeepTheOldFile) {
    const fs::path target = dir_ / "paper.xls";
    WriteBiff8File(Book("old"), target);
    const std::vector<std::uint8_t> old = ReadAll(target);
    // A read-only file is refused even where the user could replace it.
    ASSERT_EQ(0, chmod(target.c_str(), 0444));
    EXPECT_EQ("the file is read-only", ErrorOf(target));
    EXPECT_EQ(old, ReadAll(target));
    ASSERT_EQ(0, chmod(target.c_str(), 0644));

    AsOrdinaryUser(dir_, [&] {
        const fs::path mine = dir_ / "mine.xls";
        WriteBiff8File(Book("old"), mine);
        ASSERT_EQ(0, chmod(dir_.c_str(), 0500));
        EXPECT_EQ(std::strerror(EACCES), ErrorOf(mine)) << "a read-only folder";
        chmod(dir_.c_str(), 0700);
        EXPECT_EQ(old, ReadAll(mine));
    });
    EXPECT_EQ((std::vector<std::string>{"mine.xls", "paper.xls"}), Entries(dir_));
    // Someone else's file that we may not write.
    if (geteuid() == 0) {
        AsOrdinaryUser(dir_, [&] { EXPECT_EQ("the file is read-only", ErrorOf(target)); });
        EXPECT_EQ(old, ReadAll(target));
    }
}

TEST_F(WriterFileTest, LinksAreWrittenThrough) {
    fs::create_directory(dir_ / "real");
    const fs::path file = dir_ / "real" / "paper.xls";
    WriteBiff8File(Book("old"), file);
    fs::create_symlink("real/paper.xls", dir_ / "link.xls");
    fs::create_symlink(dir_ / "link.xls", dir_ / "link2.xls");  // a chain of two
    WriteBiff8File(Book("through"), dir_ / "link2.xls");
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.xls"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "link2.xls"));
    EXPECT_EQ(WriteBiff8Bytes(Book("through")), ReadAll(file));
    EXPECT_EQ((std::vector<std::string>{"paper.xls"}), Entries(dir_ / "real"))
        << "the temporary went beside the file the link names";

    // A dangling link creates the file it names.
    fs::create_symlink("real/new.xls", dir_ / "dangling.xls");
    WriteBiff8File(Book("created"), dir_ / "dangling.xls");
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.xls"));
    EXPECT_EQ(WriteBiff8Bytes(Book("created")), ReadAll(dir_ / "real" / "new.xls"));

    fs::create_symlink("loop.xls", dir_ / "loop.xls");
    EXPECT_EQ(std::strerror(ELOOP), ErrorOf(dir_ / "loop.xls"));
}

TEST_F(WriterFileTest, OnlyRegularFilesAreReplaced) {
    const fs::path fifo = dir_ / "pipe.xls";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    fs::create_directory(dir_ / "folder.xls");
    const std::vector<std::pair<fs::path, std::string>> cases = {
        {fifo, "it is a pipe, not a file"},
        {dir_ / "folder.xls", "it is a folder, not a file"},
        {"/dev/null", "it is a device, not a file"},
    };
    for (const auto& [target, reason] : cases) EXPECT_EQ(reason, ErrorOf(target)) << target;
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ((std::vector<std::string>{"folder.xls", "pipe.xls"}), Entries(dir_));
}

TEST_F(WriterFileTest, TemporaryNamesAreCutBetweenCharacters) {
    // 63 ASCII bytes then two-byte characters: a cut at 64 bytes would fall
    // inside the first of them, and the temporary name would not be UTF-8.
    std::string name = std::string(63, 'a');
    for (int i = 0; i < 40; ++i) name += "\xC3\xA9";
    name += ".xls";
    ASSERT_LE(name.size(), 255u);
    WriteBiff8File(Book("utf8"), dir_ / name);
    EXPECT_EQ(std::vector<std::string>{name}, Entries(dir_));

    // The temporary's name: a dot, the cut name, six random characters.
    const std::string temporary = detail::TemporaryPattern(dir_ / name).filename().string();
    ASSERT_TRUE(temporary.starts_with(".") && temporary.ends_with(".XXXXXX")) << temporary;
    const std::string cut = temporary.substr(1, temporary.size() - 8);
    EXPECT_LE(cut.size(), 64u);
    EXPECT_TRUE(name.starts_with(cut));
    EXPECT_NE(0x80, static_cast<unsigned char>(name[cut.size()]) & 0xC0)
        << "the cut falls inside a character";
}

}  // namespace
}  // namespace scrivane::codec
