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
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

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

TEST_F(WriterFileTest, ReadOnlyFolderKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const fs::path target = dir_ / "paper.xls";
    WriteBiff8File(Book("old"), target);
    const std::vector<std::uint8_t> old = ReadAll(target);
    ASSERT_EQ(0, chmod(dir_.c_str(), 0500));
    try {
        WriteBiff8File(Book("new"), target);
        ADD_FAILURE() << "no error";
    } catch (const WorkbookError& e) {
        EXPECT_STREQ(std::strerror(EACCES), e.what());
    }
    chmod(dir_.c_str(), 0700);
    EXPECT_EQ(old, ReadAll(target));
    EXPECT_EQ(std::vector<std::string>{"paper.xls"}, Entries(dir_));
}

}  // namespace
}  // namespace scrivane::codec
