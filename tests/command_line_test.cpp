#include "mobigen/cli/command_line.h"
#include "tests/support/checks.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <sstream>

namespace {

using namespace test_support;
namespace fs = std::filesystem;
using mobigen::Book;
using mobigen::Diagnostics;

struct Seen {
    std::string html;
    std::string fallbackTitle;
    int calls = 0;
    std::size_t images = 0;
};

// Stands in for the HTML reader: records what it got, and fails or warns on request. The real
// readers behind the converter's process are converter_process_test's.
mobigen::BookReaders fakeReaders(Seen& seen) {
    mobigen::BookReaders readers;
    readers.html = [&seen](std::string bytes, const std::string& title, Diagnostics& diagnostics,
                           const mobigen::ResourceLoader& resources) {
        ++seen.calls;
        seen.html = bytes;
        seen.fallbackTitle = title;
        if (bytes.find("FAIL") != std::string::npos) throw mobigen::ConversionError{"The book is broken."};
        if (bytes.find("WARN") != std::string::npos) diagnostics.warn("Something odd.");
        Book book;
        book.metadata.title = title;
        book.flow = "<html><body>" + bytes + "</body></html>";
        if (bytes.find("KF8") != std::string::npos) book.kf8.documents = {"<html><body><p>KF8</p></body></html>"};
        if (bytes.find("HUGE") != std::string::npos) book.images.resize(70000);  // past 65535 records
        for (const char* image : {"pic.gif", "../outside.gif", "/etc/passwd", "missing.gif"})
            if (auto data = resources(image)) book.images.push_back({*data});
        seen.images = book.images.size();
        return book;
    };
    return readers;
}

std::uint32_t compressionOf(const std::string& mobi) { return be32(mobi, be32(mobi, 78)) >> 16; }

class CommandLine : public ::testing::Test {
protected:
    int run(std::vector<std::string> arguments) {
        output.str("");
        return mobigen::run(arguments, output, fakeReaders(seen));
    }
    std::string at(const std::string& name) const { return folder / name; }
    bool logged(const std::string& text) const { return output.str().find(text) != std::string::npos; }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder folder;
    std::ostringstream output;
    Seen seen;
};

TEST_F(CommandLine, RefusalsExitWithTwoBeforeReadingOrWritingAnything) {
    for (const char* name : {"a.epub", "notes.txt", "book.opf"}) writeFile(at(name), "text");
    std::vector<std::pair<std::vector<std::string>, const char*>> cases = {
        {{}, "Usage:"},
        {{"-c2"}, "No source file"},
        {{at("a.epub"), "-o"}, "-o needs"},
        {{at("a.epub"), "-locale"}, "-locale needs"},
        {{at("notes.txt")}, "notes.txt"},
        {{at("book.opf")}, "book.opf"},
        {{at("missing.htm")}, "Cannot open"},
        {{at("a.epub"), "-o", "A.EPUB"}, "overwrite the source"},
    };
    // The output stays beside the source.
    for (const char* name : {"sub/x.mobi", "..\\x.mobi", "..", "", "c:x.mobi"})
        cases.push_back({{at("a.epub"), "-o", name}, "plain file name"});
    for (const auto& [arguments, message] : cases) {
        EXPECT_EQ(run(arguments), 2) << message;
        EXPECT_TRUE(logged(message)) << output.str();
    }
    EXPECT_EQ(seen.calls, 0);
    EXPECT_EQ(files(), (std::vector<std::string>{"a.epub", "book.opf", "notes.txt"}));
}

TEST_F(CommandLine, WritesBesideTheSourceWithTheChosenCompression) {
    writeFile(at("book.html"), "text");
    writeFile(at("book.mobi"), "old");
    writeFile(at("pic.gif"), "GIF89a");
    const std::pair<const char*, std::uint32_t> choices[] = {{"-c0", 1}, {"-c1", 2}, {"-c2", 2}};
    for (const auto& [option, compression] : choices) {
        ASSERT_EQ(run({at("book.html"), option}), 0) << output.str();
        EXPECT_EQ(compressionOf(readFile(at("book.mobi"))), compression) << option;
    }
    EXPECT_EQ(seen.fallbackTitle, "book");
    EXPECT_EQ(seen.images, 1u);  // only the one beside the page
    EXPECT_EQ(run({at("book.html"), "-o", "other.mobi"}), 0);
    EXPECT_EQ(files(), (std::vector<std::string>{"book.html", "book.mobi", "other.mobi", "pic.gif"}));
}

// Options older tools pass change nothing, and say so only when asked; unknown options and reader
// warnings exit with one.
TEST_F(CommandLine, OlderToolsOptionsAreAcceptedQuietlyAndOthersWarn) {
    writeFile(at("a.htm"), "text");
    std::vector<std::string> arguments = {"-dont_append_source", "-locale", "zh", "-gen_ff_mobi7", at("a.htm")};
    EXPECT_EQ(run(arguments), 0) << output.str();
    EXPECT_FALSE(logged("-locale")) << output.str();
    arguments.insert(arguments.begin(), {"-western", "-verbose"});
    EXPECT_EQ(run(arguments), 1) << output.str();
    for (const char* note :
         {"Option -dont_append_source has no effect", "Option -locale zh has no effect",
          "Option -gen_ff_mobi7 has no effect", "Warning: Unknown option -western ignored.", "Info: Title: a"})
        EXPECT_TRUE(logged(note)) << output.str();
    writeFile(at("b.htm"), "WARN");
    EXPECT_EQ(run({at("b.htm")}), 1);
    EXPECT_TRUE(logged("Warning: Something odd.")) << output.str();
    EXPECT_TRUE(fs::exists(at("b.mobi")));
}

std::uint32_t versionOf(const std::string& file) { return be32(file, be32(file, 78) + 36); }
bool isJoint(const std::string& file) { return file.find("BOUNDARY") != std::string::npos; }

TEST_F(CommandLine, OutputKinds) {
    writeFile(at("k.htm"), "KF8");
    writeFile(at("a.htm"), "text");
    const auto made = [&](std::vector<std::string> arguments, const char* name) {
        EXPECT_EQ(run(arguments), 0) << output.str();
        return readFile(at(name));
    };
    EXPECT_TRUE(isJoint(made({at("k.htm")}, "k.mobi")));
    EXPECT_EQ(versionOf(made({at("k.htm"), "-azw3"}, "k.azw3")), 8u);
    EXPECT_FALSE(isJoint(made({at("k.htm"), "-mobi6"}, "k.mobi")));
    // Without KF8 content the default is MOBI 6 alone, and a KF8 file is refused.
    const std::string plain = made({at("a.htm")}, "a.mobi");
    EXPECT_EQ(versionOf(plain), 6u);
    EXPECT_FALSE(isJoint(plain));
    EXPECT_EQ(run({at("a.htm"), "-azw3"}), 2) << output.str();
    EXPECT_TRUE(logged("no KF8 content")) << output.str();
    EXPECT_EQ(files(), (std::vector<std::string>{"a.htm", "a.mobi", "k.azw3", "k.htm", "k.mobi"}));
}

TEST_F(CommandLine, FailedConversionKeepsTheOldOutputAndLeavesNoPartialFile) {
    writeFile(at("bad.htm"), "FAIL");
    writeFile(at("bad.mobi"), "old");
    writeFile(at("bad.mobi.mobigen-tmp"), "stale");
    EXPECT_EQ(run({at("bad.htm")}), 2);
    EXPECT_TRUE(logged("Error: The book is broken.")) << output.str();
    EXPECT_EQ(readFile(at("bad.mobi")), "old");
    EXPECT_EQ(files(), (std::vector<std::string>{"bad.htm", "bad.mobi", "bad.mobi.mobigen-tmp"}));

    // A stale temporary from a crash does not stop the next good run, which cleans it up.
    writeFile(at("bad.htm"), "fine now");
    EXPECT_EQ(run({at("bad.htm")}), 0) << output.str();
    EXPECT_EQ(files(), (std::vector<std::string>{"bad.htm", "bad.mobi"}));

    // Nor does a failure while the records are being written.
    writeFile(at("huge.htm"), "HUGE");
    EXPECT_EQ(run({at("huge.htm")}), 2);
    EXPECT_TRUE(logged("too large")) << output.str();
    EXPECT_EQ(files(), (std::vector<std::string>{"bad.htm", "bad.mobi", "huge.htm"}));
}

TEST_F(CommandLine, HtmlIsDecodedAndTheTitleFallsBackToTheFileName) {
    // Names as the system hands them over: code page 936 on Windows, where the second byte of
    // 誠 is '\\', which must not split the name; UTF-8 elsewhere.
#ifdef _WIN32
    const std::pair<std::string, std::string> names[] = {{"\xCA\xE9\xC3\xFB.htm", u8"书名"}, {"\xD5\\.htm", u8"誠"}};
#else
    const std::pair<std::string, std::string> names[] = {{"书名.htm", u8"书名"}, {"誠.htm", u8"誠"}};
#endif
    for (const auto& [name, title] : names) {
        writeFile(at(name), "<html><body>\xB5\xDA\xD2\xBB\xD5\xC2</body></html>");
        EXPECT_EQ(run({at(name)}), 0) << output.str();
        EXPECT_EQ(seen.html, u8"<html><body>第一章</body></html>");
        EXPECT_EQ(seen.fallbackTitle, title);
    }
}

}  // namespace
