// The record stream: byte layouts of both string forms, the text reader's
// trimming and comment rules, reading past the end, and the write-through-a-
// temporary-file rule that keeps an old file intact when a save goes wrong.

#include "core/errors.h"
#include "core/qvstream.h"
#include "core/test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <map>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>

namespace kestrune {
namespace {

using test::Bytes;
using test::Hex;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string AB = "\xAB";

TQVFileStream Reader(const std::string& bytes)
{
    return TQVFileStream(TFileStream::MemoryTag{}, bytes);
}

// ---- counted form ----

TEST(StreamCounted, PrefixLengths)
{
    struct Case {
        size_t length;
        std::string prefix;
    } cases[] = {
        {0, "00"}, {1, "01"}, {254, "FE"}, {255, "FF FF 00"}, {256, "FF 00 01"},
        {300, "FF 2C 01"}, {65535, "FF FF FF"},
    };
    for (const auto& c : cases) {
        TQVFileStream w{TFileStream::MemoryTag{}};
        const std::string s(c.length, 'x');
        w.WriteCounted(s);
        EXPECT_EQ(Hex(w.Bytes()), Hex(Bytes(c.prefix) + s)) << "length " << c.length;

        TQVFileStream r = Reader(w.Bytes());
        EXPECT_EQ(r.ReadCounted(), s) << "length " << c.length;
        EXPECT_TRUE(r.AtEnd());
    }
}

TEST(StreamCounted, KeepsEveryByteAndTokensDispatch)
{
    static const char raw[] = "  lead\r\n\xAB#mid\0end \n";
    const std::string tricky(raw, sizeof raw - 1);
    TQVFileStreamBinary w{TFileStream::MemoryTag{}};
    TQVFileStream& asBase = w;
    EXPECT_TRUE(IsCounted(asBase));
    asBase.WriteToken(tricky);
    asBase.WriteToken("");
    EXPECT_EQ(w.Bytes(), std::string(1, char(tricky.size())) + tricky + std::string(1, '\0'));

    TQVFileStreamBinary r(TFileStream::MemoryTag{}, w.Bytes());
    TQVFileStream& rBase = r;
    EXPECT_EQ(rBase.ReadToken(), tricky);
    EXPECT_EQ(rBase.ReadToken(), "");
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(rBase.ReadToken(), "");
}

TEST(StreamCounted, PrefixPromisingMoreThanTheFileGivesWhatRemains)
{
    TQVFileStream r = Reader(Bytes("05 61 62"));
    EXPECT_EQ(r.ReadCounted(), "ab");
    EXPECT_TRUE(r.AtEnd());

    TQVFileStream big = Reader(Bytes("FF 00 01 61 62 63"));
    EXPECT_EQ(big.ReadCounted(), "abc");
    EXPECT_TRUE(big.AtEnd());

    // The long prefix itself is cut: the missing high byte reads as 0.
    TQVFileStream cutPrefix = Reader(Bytes("FF 02"));
    EXPECT_EQ(cutPrefix.ReadCounted(), "");
    EXPECT_TRUE(cutPrefix.AtEnd());

    // A file holding this one string, read through a real file.
    TempDir dir;
    WriteFile(dir / "cut.bin", Bytes("FF 10 27") + "xyz");
    TQVFileStreamBinary f(dir / "cut.bin", TFileStream::Mode::Read);
    EXPECT_EQ(f.ReadToken(), "xyz");
    EXPECT_TRUE(f.AtEnd());
}

// ---- bytes and words ----

TEST(StreamBytes, WordsAreLittleEndian)
{
    TQVFileStream w{TFileStream::MemoryTag{}};
    w.WriteWord(3338);
    w.WriteWord(0);
    w.WriteWord(65535);
    w.WriteByte(0x7F);
    EXPECT_EQ(Hex(w.Bytes()), "0A 0D 00 00 FF FF 7F");
    EXPECT_EQ(w.Position(), 7u);

    TQVFileStream r = Reader(w.Bytes());
    EXPECT_EQ(r.ReadWord(), 3338);
    EXPECT_EQ(r.ReadWord(), 0);
    EXPECT_EQ(r.ReadWord(), 65535);
    // One byte left: the high byte of the word reads as 0.
    EXPECT_EQ(r.ReadWord(), 0x7F);
    EXPECT_TRUE(r.AtEnd());
}

TEST(StreamBytes, ReadingAtTheEndGivesZeroAndStaysThere)
{
    TQVFileStream r = Reader("A");
    EXPECT_FALSE(r.AtEnd());
    EXPECT_EQ(r.ReadByte(), 'A');
    EXPECT_TRUE(r.AtEnd());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(r.ReadByte(), 0);
        EXPECT_EQ(r.Position(), 1u);
        EXPECT_EQ(r.Size(), 1u);
    }
    EXPECT_EQ(r.ReadWord(), 0);
    EXPECT_EQ(r.ReadCounted(), "");
    EXPECT_EQ(r.ReadToken(), "");
    EXPECT_EQ(r.ReadHeadToken(), "");
    EXPECT_EQ(r.Position(), 1u);

    TQVFileStream empty = Reader("");
    EXPECT_TRUE(empty.AtEnd());
    EXPECT_EQ(empty.ReadToken(), "");
    EXPECT_EQ(empty.ReadByte(), 0);
}

// ---- text form ----

TEST(StreamText, WriteTokenAddsTheTerminator)
{
    TQVFileStream w{TFileStream::MemoryTag{}};
    EXPECT_FALSE(IsCounted(w));
    w.WriteToken("abc");
    EXPECT_EQ(Hex(w.Bytes()), "61 62 63 AB");
    w.WriteTerminated('|', "de");
    w.WriteToken("");
    EXPECT_EQ(Hex(w.Bytes()), "61 62 63 AB 64 65 7C AB");
}

TEST(StreamText, ReadTrimsSpacesAndLineBreaks)
{
    TQVFileStream r = Reader(Bytes("20 20 0D 0A 20 61 62 63 20 0D 0A AB"));
    EXPECT_EQ(r.ReadToken(), "abc");
    EXPECT_TRUE(r.AtEnd());

    // Tab is not whitespace; inner line breaks stay.
    TQVFileStream tabs = Reader("\tx\t" + AB + " a \r\n b " + AB + " \r\n  " + AB);
    EXPECT_EQ(tabs.ReadToken(), "\tx\t");
    EXPECT_EQ(tabs.ReadToken(), "a \r\n b");
    EXPECT_EQ(tabs.ReadToken(), ""); // only whitespace
    EXPECT_TRUE(tabs.AtEnd());
}

TEST(StreamText, TerminatorIsConsumed)
{
    TQVFileStream r = Reader("abc" + AB + "def" + AB);
    EXPECT_EQ(r.ReadToken(), "abc");
    EXPECT_EQ(r.Position(), 4u);
    EXPECT_EQ(r.ReadToken(), "def");
    EXPECT_EQ(r.Position(), 8u);

    TQVFileStream other = Reader("ab\ncd");
    EXPECT_EQ(other.ReadTerminated('\n', false), "ab");
    EXPECT_EQ(other.ReadTerminated('\n', false), "cd");
    EXPECT_TRUE(other.AtEnd());
}

TEST(StreamText, HeadTokenDropsCommentLines)
{
    const std::string bytes = "# first comment\r\n#second\r\nword" + AB + "next" + AB;
    TQVFileStream head = Reader(bytes);
    EXPECT_EQ(head.ReadHeadToken(), "word");
    EXPECT_EQ(head.ReadHeadToken(), "next");

    TQVFileStream plain = Reader(bytes);
    EXPECT_EQ(plain.ReadToken(), "# first comment\r\n#second\r\nword");

    // Whitespace before and between comments goes too; a later "#" is text.
    TQVFileStream spaced = Reader("  \r\n# c\n  \r\n# d\r\n  wo#rd  " + AB);
    EXPECT_EQ(spaced.ReadHeadToken(), "wo#rd");
}

TEST(StreamText, CommentWithoutLineFeedIsEmpty)
{
    TQVFileStream r = Reader("#no line feed here" + AB + "after" + AB);
    EXPECT_EQ(r.ReadHeadToken(), "");
    EXPECT_EQ(r.ReadHeadToken(), "after");

    TQVFileStream plain = Reader("#pattern row" + AB);
    EXPECT_EQ(plain.ReadToken(), "#pattern row");
}

TEST(StreamText, TruncatedTokenGivesTheBytesRead)
{
    TQVFileStream r = Reader("one" + AB + "  partial tok");
    EXPECT_EQ(r.ReadToken(), "one");
    EXPECT_EQ(r.ReadToken(), "partial tok");
    EXPECT_TRUE(r.AtEnd());
    EXPECT_EQ(r.ReadToken(), "");
}

TEST(StreamText, SeekBackAndReadAgain)
{
    TQVFileStream r = Reader("first" + AB + "#second" + AB + "third" + AB);
    EXPECT_EQ(r.ReadToken(), "first");
    const uint64_t mark = r.Position();
    EXPECT_EQ(r.ReadToken(), "#second");
    r.Seek(mark);
    EXPECT_EQ(r.Position(), mark);
    EXPECT_EQ(r.ReadToken(), "#second");
    EXPECT_EQ(r.ReadToken(), "third");
    r.Seek(0);
    EXPECT_EQ(r.ReadToken(), "first");
    r.Seek(1000); // clamped
    EXPECT_TRUE(r.AtEnd());
}

// ---- files, refusals, temporary files ----

TEST(StreamFile, WritesBesideTheTargetAndRenamesOnClose)
{
    TempDir dir;
    const auto target = dir / "lib.qv5";
    WriteFile(target, "old");
    {
        TQVFileStream w(target, TFileStream::Mode::Write);
        w.WriteToken("new");
        EXPECT_EQ(ReadFile(target), "old"); // untouched until Close()
        w.Close();
        w.Close(); // harmless
    }
    EXPECT_EQ(Hex(ReadFile(target)), "6E 65 77 AB");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"lib.qv5"});

    TQVFileStreamBinary r(target, TFileStream::Mode::Read);
    EXPECT_EQ(r.Size(), 4u);
    EXPECT_EQ(r.ReadByte(), 'n');
}

TEST(StreamFile, DestroyedWithoutCloseLeavesTheOldFile)
{
    TempDir dir;
    const auto target = dir / "map.map";
    WriteFile(target, "old contents");
    {
        TQVFileStreamBinary w(target, TFileStream::Mode::Write);
        w.WriteToken("half of a file");
    }
    EXPECT_EQ(ReadFile(target), "old contents");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"map.map"});

    {
        TQVFileStream w(dir / "fresh.qv5", TFileStream::Mode::Write);
        w.WriteToken("x");
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"map.map"});
}

TEST(StreamFile, OpenAndCreateErrorsNameTheFullPath)
{
    TempDir dir;
    const auto missing = dir / "missing.qv5";
    try {
        TQVFileStream r(missing, TFileStream::Mode::Read);
        FAIL() << "opening a missing file must fail";
    } catch (const KestruneError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + missing.string());
    }

    // A folder that cannot be made (a file has its name): the reason follows.
    WriteFile(dir / "plain", "");
    const auto inFile = dir / "plain" / "out.qv5";
    try {
        TQVFileStream w(inFile, TFileStream::Mode::Write);
        FAIL() << "creating below a file must fail";
    } catch (const KestruneError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + inFile.string() + "\nNot a directory");
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"plain"});
}

// Each refused write: thrown before any of its bytes, and the file abandoned
// so that neither the destructor nor a later Close() replaces the old file.
template <class Stream, class Write>
void ExpectRefused(const char* what, Write write)
{
    SCOPED_TRACE(what);
    {
        Stream w{TFileStream::MemoryTag{}};
        w.WriteByte('k');
        const std::string before = w.Bytes();
        EXPECT_THROW(write(w), KestruneError);
        EXPECT_LE(w.Bytes().size(), before.size()) << "bytes of the refused write were written";
        EXPECT_EQ(w.Bytes(), before.substr(0, w.Bytes().size()));
    }
    TempDir dir;
    const auto target = dir / "data.qv5";
    WriteFile(target, "previous");
    {
        Stream w(target, TFileStream::Mode::Write);
        w.WriteToken("good part");
        EXPECT_THROW(write(w), KestruneError);
        w.Close();
    }
    EXPECT_EQ(ReadFile(target), "previous");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"data.qv5"});

    {
        Stream w(dir / "new.qv5", TFileStream::Mode::Write);
        EXPECT_THROW(write(w), KestruneError);
        w.Close();
    }
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"data.qv5"});
}

TEST(StreamFile, UnwritableValuesAreRefused)
{
    const std::string tooLong(65536, 'z');
    ExpectRefused<TQVFileStream>("counted over 65535", [&](TQVFileStream& w) { w.WriteCounted(tooLong); });
    ExpectRefused<TQVFileStreamBinary>("counted token over 65535",
                                       [&](TQVFileStream& w) { w.WriteToken(tooLong); });
    ExpectRefused<TQVFileStream>("word -1", [](TQVFileStream& w) { w.WriteWord(-1); });
    ExpectRefused<TQVFileStream>("word 65536", [](TQVFileStream& w) { w.WriteWord(65536); });
    ExpectRefused<TQVFileStream>("text token holding the terminator",
                                 [](TQVFileStream& w) { w.WriteToken("ab" + AB + "cd"); });
    ExpectRefused<TQVFileStream>("terminated holding its terminator",
                                 [](TQVFileStream& w) { w.WriteTerminated('|', "a|b"); });
}

TEST(StreamFile, CountedTokenMayHoldTheTextTerminator)
{
    TQVFileStreamBinary w{TFileStream::MemoryTag{}};
    EXPECT_NO_THROW(w.WriteToken("a" + AB));
    EXPECT_EQ(Hex(w.Bytes()), "02 61 AB");
}

TEST(StreamFile, BothFormsRoundTripThroughAFile)
{
    TempDir dir;
    const std::string long300(300, 'q');
    {
        TQVFileStreamBinary w(dir / "c.bin", TFileStream::Mode::Write);
        w.WriteToken(" spaced ");
        w.WriteToken(long300);
        w.WriteWord(513);
        w.WriteToken("");
        w.Close();
    }
    {
        TQVFileStreamBinary r(dir / "c.bin", TFileStream::Mode::Read);
        EXPECT_EQ(r.Size(), 1u + 8 + 3 + 300 + 2 + 1);
        EXPECT_EQ(r.ReadToken(), " spaced ");
        EXPECT_EQ(r.ReadToken(), long300);
        EXPECT_EQ(r.ReadWord(), 513);
        EXPECT_EQ(r.ReadToken(), "");
        EXPECT_TRUE(r.AtEnd());
    }
    {
        TQVFileStream w(dir / "t.qv5", TFileStream::Mode::Write);
        w.WriteToken("\r\nname");
        w.WriteToken(std::string(70000, 'v')); // the text form has no length limit
        w.WriteToken("\r\n");
        w.Close();
    }
    TQVFileStream r(dir / "t.qv5", TFileStream::Mode::Read);
    EXPECT_EQ(r.ReadToken(), "name");
    EXPECT_EQ(r.ReadToken(), std::string(70000, 'v'));
    EXPECT_EQ(r.ReadToken(), "");
    EXPECT_TRUE(r.AtEnd());
}

} // namespace
} // namespace kestrune

namespace kestrune {
namespace {

namespace fs = std::filesystem;

// Every file and folder below a folder: its inode and bytes.
std::map<std::string, std::pair<ino_t, std::string>> Snapshot(const fs::path& folder)
{
    std::map<std::string, std::pair<ino_t, std::string>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        struct stat st {};
        ::lstat(entry.path().c_str(), &st);
        const bool file = entry.is_regular_file() && !entry.is_symlink();
        files[entry.path().string()] = {st.st_ino, file ? test::ReadFile(entry.path()) : std::string()};
    }
    return files;
}

void Write(const fs::path& path, const std::string& text)
{
    TQVFileStream w(path, TFileStream::Mode::Write);
    w.WriteToken(text);
    w.Close();
}

TEST(StreamFile, ASaveIsAllOrNothingAndKeepsModesAndLinks)
{
    test::TempDir dir;
    test::WriteFile(dir / "a.qv5", "old a");
    fs::permissions(dir / "a.qv5", fs::perms::owner_read | fs::perms::owner_write);
    test::WriteFile(dir / "real.qv5", "old real");
    fs::create_symlink("real.qv5", dir / "link.qv5");
    test::WriteFile(dir / "b.qv5", "old b");
    const auto before = Snapshot(dir.Path());

    // The second file cannot be put in place: the first goes back, the very same file.
    try {
        TSaveTransaction save;
        Write(dir / "a.qv5", "new a");
        Write(dir / "b.qv5", "new b");
        fs::remove(dir / "b.qv5");
        fs::create_directory(dir / "b.qv5");
        test::WriteFile(dir / "b.qv5" / "inside", "");
        save.Commit();
        FAIL() << "putting a file over a folder succeeded";
    } catch (const KestruneError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("Cannot create file " + (dir / "b.qv5").string() + "\n", 0), 0u) << message;
    }
    fs::remove_all(dir / "b.qv5");
    test::WriteFile(dir / "b.qv5", "old b");
    auto after = Snapshot(dir.Path());
    after[(dir / "b.qv5").string()].first = before.at((dir / "b.qv5").string()).first;
    EXPECT_EQ(after, before);

    // A full disk (a file size limit here) while writing: nothing changes either.
    {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 4096;
        ::setrlimit(RLIMIT_FSIZE, &small);
        const auto full = Snapshot(dir.Path());
        EXPECT_THROW(
            {
                TSaveTransaction save;
                Write(dir / "a.qv5", std::string(200000, 'x'));
                save.Commit();
            },
            KestruneError);
        ::setrlimit(RLIMIT_FSIZE, &old);
        EXPECT_EQ(Snapshot(dir.Path()), full);
    }

    // An immutable file, then an immutable folder, where the system allows them.
    const std::string quoted = "'" + (dir / "b.qv5").string() + "'";
    if (std::system(("chattr +i " + quoted + " 2>/dev/null").c_str()) == 0) {
        const auto locked = Snapshot(dir.Path());
        EXPECT_THROW(
            {
                TSaveTransaction save;
                Write(dir / "a.qv5", "new a");
                Write(dir / "b.qv5", "new b");
                save.Commit();
            },
            KestruneError);
        EXPECT_EQ(Snapshot(dir.Path()), locked);
        std::system(("chattr -i " + quoted).c_str());
        const std::string folder = "'" + dir.Path().string() + "'";
        std::system(("chattr +i " + folder).c_str());
        EXPECT_THROW(Write(dir / "a.qv5", "new a"), KestruneError);
        std::system(("chattr -i " + folder).c_str());
        EXPECT_EQ(Snapshot(dir.Path()), locked);
    }

    // Saved: the modes stay, a link stays a link and its target is written.
    {
        TSaveTransaction save;
        Write(dir / "a.qv5", "new a");
        Write(dir / "link.qv5", "new real");
        save.Commit();
    }
    EXPECT_EQ(fs::status(dir / "a.qv5").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(fs::is_symlink(dir / "link.qv5"));
    EXPECT_EQ(test::ReadFile(dir / "real.qv5"), std::string("new real") + '\xAB');
    EXPECT_EQ(dir.Entries().size(), 4u); // no temporary file is left

    // Bits that shut the owner out are given after the flush, so they stop neither.
    test::WriteFile(dir / "shut.qv5", "old");
    fs::permissions(dir / "shut.qv5", fs::perms::none);
    {
        TSaveTransaction save;
        Write(dir / "shut.qv5", "new");
        save.Commit();
    }
    EXPECT_EQ(fs::status(dir / "shut.qv5").permissions() & fs::perms::all, fs::perms::none);
    fs::permissions(dir / "shut.qv5", fs::perms::owner_read);
    EXPECT_EQ(test::ReadFile(dir / "shut.qv5"), std::string("new") + '\xAB');
}

} // namespace
} // namespace kestrune
