// Text and files from outside: bytes that are not UTF-8 on their way into logs and errors,
// documents that declare entities, inputs past their size limit, and saves that either replace a
// file whole or leave it as it was.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/LogFile.h"
#include "platform/Utf8.h"
#include "platform/Xml.h"
#include "support/Examples.h"
#include "support/TestContext.h"

namespace zd {
namespace {

namespace fs = std::filesystem;

const std::string kBad = "\xEF\xBF\xBD";  // U+FFFD

class FilesTest : public ::testing::Test {
  protected:
    // The names in the folder, so that a temporary file left behind shows.
    std::string Listing() const {
        std::string names;
        for (const auto& entry : fs::directory_iterator(m_folder))
            names += entry.path().filename().string() + " ";
        return names;
    }

    const test::TempFolder m_temp{"zd_files_"};
    const fs::path& m_folder = m_temp.Path();
};

TEST(Utf8Test, IllFormedSequencesBecomeOneReplacementPerMaximalSubpart) {
    const std::pair<std::string, std::string> cases[] = {
        {"Aß \xF0\x9F\x92\xA1 \xEF\xBF\xBD", "Aß \xF0\x9F\x92\xA1 \xEF\xBF\xBD"},  // valid as is
        {"a\xFFz", "a" + kBad + "z"},  // ISO-8859-1 byte
        {"\xE2\x82z", kBad + "z"},     // cut three-byte sequence
        {"\xF1\x80\x80"
         "A",
         kBad + "A"},                                     // cut four-byte sequence
        {"\xC0\xAF", kBad + kBad},                        // overlong "/"
        {"\xED\xA0\x80", kBad + kBad + kBad},             // surrogate
        {"\xF4\x90\x80\x80", kBad + kBad + kBad + kBad},  // past U+10FFFF
        {"\x80\xE2", kBad + kBad},                        // stray continuation, cut at the end
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(ValidUtf8(in), out) << in;
        EXPECT_EQ(IsValidUtf8(in), in == out) << in;
        EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(in)), out) << in;
    }
    EXPECT_EQ(Utf16ToUtf8(u"a\xD800z"), "a" + kBad + "z");  // unpaired surrogate
}

// A corrupt file quoted on the console: escape sequences, a bell and a NUL byte show as text, the
// line stays whole, and bad bytes still become replacements.
TEST(Utf8Test, PrintableTextWritesControlCharactersOut) {
    const std::string in = std::string(
                               "a\x1B[2Jb\x07"
                               "c") +
                           '\0' + "d\te\nf\x7F\xFF";
    EXPECT_EQ(PrintableText(in), "a\\x1B[2Jb\\x07c\\x00d\te\nf\\x7F" + kBad);
}

TEST_F(FilesTest, BadBytesReachLogsErrorsAndParseReportsReplaced) {
    const fs::path log = m_folder / "log.txt";
    {
        LogFile file(log.string());
        file.Write("\xFF\xC3");
    }
    LogFile::WriteWholeFile((m_folder / "whole.xml").string(), "\xC3(");
    const std::string replaced("\xFF\xFE\xFD\xFF\xFD\xFF", 6);
    EXPECT_EQ(test::ReadFileText(log), replaced);
    EXPECT_EQ(test::ReadFileText(m_folder / "whole.xml"), std::string("\xFF\xFE\xFD\xFF(\0", 6));

    const ControlError error("Path/File access error: caf\xE9.xml", "src\xFF");
    EXPECT_EQ(error.Description(), "Path/File access error: caf" + kBad + ".xml");
    EXPECT_EQ(error.Source(), "src" + kBad);
    EXPECT_STREQ(error.what(), error.Description().c_str());

    // The parser refuses the byte; its report quotes the line, made valid.
    XmlDocument doc;
    EXPECT_FALSE(doc.LoadXml("<a>\n<b>caf\xE9</b>\n</a>", "caf\xE9.xml"));
    ASSERT_TRUE(doc.ParseError());
    EXPECT_TRUE(IsValidUtf8(doc.ParseError()->srcText)) << doc.ParseError()->srcText;
    EXPECT_NE(doc.ParseError()->srcText.find("caf"), std::string::npos);
    EXPECT_EQ(doc.ParseError()->url, "caf" + kBad + ".xml");
    // A writer never makes a document that is not UTF-8.
    XmlDocument out = XmlDocument::Create("r");
    XmlDocument::SetAttribute(out.DocumentElement(), "name", "caf\xE9");
    EXPECT_TRUE(IsValidUtf8(out.Xml()));
}

TEST(XmlEntityTest, DocumentsThatDeclareEntitiesAreRefusedAtTheDeclaration) {
    // A 100 KB entity named 10,000 times in one attribute: read, it would expand to a gigabyte
    // on every read of the attribute.
    const std::string bomb = "<!DOCTYPE Station [<!ENTITY big \"" + std::string(100000, 'x') +
                             "\">]>\n<Station><Device Pos=\"" +
                             [] {
                                 std::string refs;
                                 for (int i = 0; i < 10000; ++i) refs += "&big;";
                                 return refs;
                             }() +
                             "\"/></Station>";
    const std::pair<const char*, std::string> cases[] = {
        {"big", bomb},
        {"x", "<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n<!ELEMENT r ANY>\n<!ENTITY x \"y\">]><r/>"},
        {"p", "<!DOCTYPE r [<!ENTITY % p \"<!ENTITY q 'z'>\">]><r/>"},
        {"ext", "<!DOCTYPE r [<!ENTITY ext SYSTEM \"file:///etc/passwd\">]><r>&ext;</r>"},
    };
    for (const auto& [name, text] : cases) {
        XmlDocument doc;
        EXPECT_FALSE(doc.LoadXml(text, "in.xml")) << name;
        ASSERT_TRUE(doc.ParseError()) << name;
        EXPECT_NE(doc.ParseError()->reason.find(std::string("declares the entity \"") + name),
                  std::string::npos)
            << doc.ParseError()->reason;
        EXPECT_GT(doc.ParseError()->line, 0) << name;
    }
    // A document type without entities, character references and the predefined entities are
    // still read.
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadXml("<!DOCTYPE r [<!ELEMENT r ANY>]><r a=\"&lt;&#65;\"/>"));
    EXPECT_EQ(doc.DocumentElement().Attribute("a"), "<A");
}

TEST_F(FilesTest, InputsAreReadUpToTheLimitOfTheirKind) {
    const InputKind small{"test file", 1000};
    std::ofstream(m_folder / "exact", std::ios::binary) << std::string(1000, 'a');
    std::ofstream(m_folder / "over", std::ios::binary) << std::string(1001, 'a');
    EXPECT_EQ(ReadInputFile((m_folder / "exact").string(), small).size(), 1000u);

    const std::tuple<std::string, const char*, std::int32_t> cases[] = {
        {(m_folder / "over").string(), "is larger than 1000 bytes, the most", 75},
        // A device never ends: the read stops one byte past the limit.
        {"/dev/zero", "The test file /dev/zero is larger than 1000 bytes", 75},
        {m_folder.string(), "is a folder", 75},
        {(m_folder / "missing").string(), "cannot be opened (No such file", 53},
    };
    for (const auto& [path, message, number] : cases) {
        const auto error = test::Thrown([&path = path, &small] { ReadInputFile(path, small); });
        ASSERT_TRUE(error) << path << " was read";
        EXPECT_NE(error->Description().find(message), std::string::npos) << error->Description();
        EXPECT_EQ(error->Number(), number) << path;
    }
}

TEST_F(FilesTest, ASaveReplacesTheWholeFileKeepsItsModeAndFollowsALink) {
    const fs::path target = m_folder / "archive.xml";
    WriteFileAtomically(target.string(), "first");
    EXPECT_EQ(test::ReadFileText(target), "first");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(target, m_folder / "link.xml");
    WriteFileAtomically((m_folder / "link.xml").string(), "second");
    EXPECT_TRUE(fs::is_symlink(m_folder / "link.xml"));
    EXPECT_EQ(test::ReadFileText(target), "second");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Listing().size(), std::string("archive.xml link.xml ").size()) << Listing();
}

// A write that fails part-way: the file-size limit of a child process stops the temporary file
// at 4 KB (with SIGXFSZ ignored the write fails with EFBIG instead of ending the process).
std::string SaveUnderFileSizeLimit(const std::string& path, const std::string& bytes) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const std::string result = test::ErrorOf([&] { WriteFileAtomically(path, bytes); });
        (void)!::write(pipeFds[1], result.data(), result.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;)
        result.append(buffer, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return result;
}

TEST_F(FilesTest, AFailedSaveLeavesTheOldFileByteForByteAndNoTemporaryFile) {
    const fs::path target = m_folder / "archive.xml";
    const std::string old = "<physicaltree>old</physicaltree>";
    std::ofstream(target, std::ios::binary) << old;

    const std::string full = SaveUnderFileSizeLimit(target.string(), std::string(100000, 'n'));
    EXPECT_NE(full.find("Path/File access error: " + target.string() +
                        " (File too large); "
                        "the file was left as it was"),
              std::string::npos)
        << full;
    EXPECT_EQ(test::ReadFileText(target), old);
    EXPECT_EQ(Listing(), "archive.xml ");

    // A folder in the way, a folder that does not exist: the same report, nothing left behind.
    fs::create_directory(m_folder / "sub");
    const std::pair<fs::path, const char*> refused[] = {
        {m_folder / "sub", "(it is a folder); the file was left as it was"},
        {m_folder / "none" / "a.xml", "no temporary file can be created beside it: No such file"},
    };
    for (const auto& [path, message] : refused) {
        const auto error =
            test::Thrown([&path = path] { WriteFileAtomically(path.string(), "new"); });
        ASSERT_TRUE(error) << path;
        EXPECT_NE(error->Description().find(message), std::string::npos) << error->Description();
        EXPECT_EQ(error->Number(), kErrPathFileAccess);
    }
    EXPECT_EQ(Listing().size(), std::string("archive.xml sub ").size()) << Listing();
    EXPECT_TRUE(fs::is_empty(m_folder / "sub"));

    // A device is no file to replace.
    const auto device = test::Thrown([] { WriteFileAtomically("/dev/null", "new"); });
    ASSERT_TRUE(device);
    EXPECT_NE(device->Description().find("(it is not a regular file)"), std::string::npos);
}

// What a run killed in the middle of a save left beside the file goes with the next save of that
// file; a save under way in a living process, and other files, stay.
TEST_F(FilesTest, TheNextSaveRemovesTheTemporaryFilesOfAProcessThatIsGone) {
    const pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const fs::path target = m_folder / "store.ini";
    const std::string dead = "store.ini.tmp-" + std::to_string(gone) + "-7";
    const std::string living = "store.ini.tmp-" + std::to_string(::getppid()) + "-0";
    for (const std::string& name : {dead, living, std::string("store.ini.tmp-x-1"),
                                    std::string("other.ini.tmp-") + std::to_string(gone) + "-1"})
        std::ofstream(m_folder / name) << "half";
    WriteFileAtomically(target.string(), "whole");
    EXPECT_EQ(test::ReadFileText(target.string()), "whole");
    EXPECT_FALSE(fs::exists(m_folder / dead));
    EXPECT_TRUE(fs::exists(m_folder / living));
    EXPECT_TRUE(fs::exists(m_folder / "store.ini.tmp-x-1"));
    EXPECT_TRUE(fs::exists(m_folder / ("other.ini.tmp-" + std::to_string(gone) + "-1")));
}

}  // namespace
}  // namespace zd
