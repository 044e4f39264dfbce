// Whole-file replacement: the new content in place, or the old file untouched and nothing
// left beside it; the folder of a path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mlib/mfileops.h"
#include "tests/support/test_support.h"

namespace {

std::vector<std::string> Names(const TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(dir.Path())) {
        names.push_back(item.path().filename().string());
    }
    return names;
}

TEST(MReplaceFile, CreatesAndReplacesAFileWhole) {
    TempDir dir;
    std::string path = dir.File("list.txt");
    EXPECT_EQ(M_REPLACE_DONE, MReplaceFile(path.c_str(), "first", 5));
    EXPECT_EQ("first", ReadFileBytes(path));
    EXPECT_EQ(M_REPLACE_DONE, MReplaceFile(path.c_str(), "2", 1));
    EXPECT_EQ("2", ReadFileBytes(path));
    EXPECT_EQ(M_REPLACE_DONE, MReplaceFile(path.c_str(), "", 0));
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ("", ReadFileBytes(path));
    EXPECT_EQ(std::vector<std::string>{"list.txt"}, Names(dir));
}

TEST(MReplaceFile, AFailedWriteLeavesTheOldFileAndNoNewOne) {
    TempDir dir;
    std::string path = dir.File("list.txt");
    WriteFileBytes(path, "old content");
    std::string content(100000, 'n');
    for (int64_t limit : {int64_t{0}, int64_t{1}, int64_t{4096}, int64_t{99999}}) {
        MSetNewFileWriteLimit(limit);
        EXPECT_EQ(M_REPLACE_WRITE_FAILED,
                  MReplaceFile(path.c_str(), content.data(), content.size()));
        MSetNewFileWriteLimit(-1);
        EXPECT_EQ("old content", ReadFileBytes(path));
        EXPECT_EQ(std::vector<std::string>{"list.txt"}, Names(dir));
    }
    MSetNewFileWriteLimit(100000);
    EXPECT_EQ(M_REPLACE_DONE, MReplaceFile(path.c_str(), content.data(), content.size()));
    MSetNewFileWriteLimit(-1);
    EXPECT_EQ(content, ReadFileBytes(path));
}

TEST(MReplaceFile, AMissingFolderCannotTakeANewFile) {
    TempDir dir;
    std::string path = dir.File("none") + M_PATH_SEPARATOR + "list.txt";
    EXPECT_EQ(M_REPLACE_OPEN_FAILED, MReplaceFile(path.c_str(), "x", 1));
    EXPECT_FALSE(FileExists(path));
}

// Refused as a device is, so that the log names the cause (a folder at PROMFILE).
TEST(MReplaceFile, ATargetThatIsAFolderIsLeftAsItWas) {
    TempDir dir;
    std::string path = dir.File("sub");
    std::filesystem::create_directory(path);
    EXPECT_EQ(M_REPLACE_REFUSED, MReplaceFile(path.c_str(), "x", 1));
    EXPECT_TRUE(std::filesystem::is_directory(path));
    EXPECT_EQ(std::vector<std::string>{"sub"}, Names(dir));
}

// The Windows program asked GetTempFileNameA for the new file's name, which refuses folders
// longer than MAX_PATH - 14 (246 bytes; Wine's leaves a stray file instead): a file read
// there could not be replaced.
TEST(MReplaceFile, AFileInAFolderOf251BytesIsReplaced) {
    TempDir dir;
    std::string folder = dir.Path() + M_PATH_SEPARATOR;
    folder += std::string(251 - folder.size(), 'f');
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    std::string path = folder + M_PATH_SEPARATOR + "fsw.lst";
    WriteFileBytes(path, "old");
    ASSERT_EQ("old", ReadFileBytes(path));
    EXPECT_EQ(M_REPLACE_DONE, MReplaceFile(path.c_str(), "new", 3));
    EXPECT_EQ("new", ReadFileBytes(path));
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder),
                               std::filesystem::directory_iterator()));
}

TEST(MReadWholeFile, ReadsEveryByteAndTellsAMissingFile) {
    TempDir dir;
    std::string path = dir.File("bytes");
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); i++) {
        bytes[i] = static_cast<char>(i * 7);
    }
    WriteFileBytes(path, bytes);
    std::string read;
    bool missing = true;
    EXPECT_TRUE(MReadWholeFile(path.c_str(), &read, &missing));
    EXPECT_FALSE(missing);
    EXPECT_EQ(bytes, read);
    EXPECT_FALSE(MReadWholeFile(dir.File("none").c_str(), &read, &missing));
    EXPECT_TRUE(missing);
    EXPECT_FALSE(MReadWholeFile(dir.Path().c_str(), &read, &missing));
    EXPECT_FALSE(missing);
}

TEST(MFolderOf, TheFolderBeforeTheLastSeparatorAtACharacterBoundary) {
    EXPECT_EQ("C:\\a", MFolderOf("C:\\a\\b.txt"));
    EXPECT_EQ("C:\\", MFolderOf("C:\\b.txt"));
    EXPECT_EQ("/", MFolderOf("/b.txt"));
    EXPECT_EQ("/home/u", MFolderOf("/home/u/b.txt"));
    EXPECT_EQ(".", MFolderOf("b.txt"));
    // 表 ends with the byte 0x5C in Shift-JIS; in UTF-8 it holds none.
    EXPECT_EQ("C:\\dir", MFolderOf("C:\\dir\\表.lst"));
    EXPECT_EQ("C:\\表", MFolderOf("C:\\表\\x"));
}

// Lines across the buffer's edges, a line longer than the buffer in pieces, and the last
// bytes without a line feed: the pieces put together are the file, and each says where it
// stands in its line.
TEST(MLineReader, PiecesMakeUpTheFileAtEveryBufferSize) {
    TempDir dir;
    std::string path = dir.File("lines");
    const std::string content = "one\r\n\ntwo two\n" + std::string(25, 'x') + "\nend";
    WriteFileBytes(path, content);
    for (size_t buffer : {size_t{4}, size_t{7}, size_t{16}, size_t{100}}) {
        SCOPED_TRACE(buffer);
        MFileReader file;
        ASSERT_EQ(M_READ_DONE, file.Open(path.c_str()));
        MLineReader lines(&file, buffer);
        MLineReader::Piece piece;
        std::string joined;
        std::vector<std::string> whole;
        bool midLine = false;
        while (lines.Next(&piece)) {
            EXPECT_EQ(!midLine, piece.starts);
            std::string text(piece.data, piece.size);
            EXPECT_EQ(piece.ends, !text.empty() && text.back() == '\n');
            if (piece.starts && piece.ends) {
                whole.push_back(text);
            }
            joined += text;
            midLine = !piece.ends && joined.size() < content.size();
        }
        EXPECT_FALSE(lines.Failed());
        EXPECT_EQ(content, joined);
        std::vector<std::string> expected;
        if (buffer >= 5) {
            expected.push_back("one\r\n");
        }
        expected.push_back("\n");
        if (buffer >= 8) {
            expected.push_back("two two\n");
        }
        if (buffer >= 26) {
            expected.push_back(std::string(25, 'x') + "\n");
        }
        EXPECT_EQ(expected, whole);
    }
}

// Two holders of one lock file, as two writers of one history: the second waits its time
// and gives up while the first holds it, and takes it once it is let go.
TEST(MFileLock, OneHolderAtATime) {
    TempDir dir;
    std::string path = dir.File("lastchk.txt.lock");
    MFileLock first;
    MFileLock second;
    ASSERT_EQ(MFileLock::HELD, first.Lock(path.c_str(), 0));
    EXPECT_EQ(MFileLock::BUSY, second.Lock(path.c_str(), 50));
    first.Unlock();
    EXPECT_EQ(MFileLock::HELD, second.Lock(path.c_str(), 0));
    std::string missing = dir.File("none") + M_PATH_SEPARATOR + "x.lock";
    EXPECT_EQ(MFileLock::UNAVAILABLE, first.Lock(missing.c_str(), 1000));
}

}  // namespace
