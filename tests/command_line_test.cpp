#include "mobigen/command_line.h"
#include "mobigen_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using namespace mobigen_test;
using mobigen::Book;
using mobigen::Diagnostics;

struct Seen {
    std::string html;
    std::string fallbackTitle;
    int calls = 0;
    std::size_t images = 0;
};

// Stands in for the readers: records what it got, and fails or warns on request.
mobigen::BookReaders fakeReaders(Seen& seen) {
    const auto reader = [&seen](std::string_view bytes, const std::string& title, Diagnostics& diagnostics) {
        ++seen.calls;
        seen.html = std::string(bytes);
        seen.fallbackTitle = title;
        if (bytes.find("FAIL") != std::string_view::npos) throw mobigen::ConversionError{"The book is broken."};
        if (bytes.find("WARN") != std::string_view::npos) diagnostics.warn("Something odd.");
        Book book;
        book.metadata.title = title;
        book.flow = "<html><body>" + std::string(bytes) + "</body></html>";
        return book;
    };
    mobigen::BookReaders readers;
    readers.epub = reader;
    readers.html = [reader, &seen](std::string_view bytes, const std::string& title, Diagnostics& diagnostics,
                                   const mobigen::ResourceLoader& resources) {
        Book book = reader(bytes, title, diagnostics);
        for (const char* image : {"pic.gif", "../outside.gif", "/etc/passwd", "missing.gif"})
            if (auto data = resources(image)) book.images.push_back({*data});
        seen.images = book.images.size();
        return book;
    };
    return readers;
}

class CommandLine : public ::testing::Test {
protected:
    int run(std::vector<std::string> arguments) {
        output.str("");
        return mobigen::run(arguments, output, fakeReaders(seen));
    }
    std::string at(const std::string& name) const { return folder.path().string() + "/" + name; }
    std::string log() const { return output.str(); }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder.path())) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder folder;
    std::ostringstream output;
    Seen seen;
};

TEST_F(CommandLine, UsageAndArgumentErrors) {
    EXPECT_EQ(run({}), 2);
    EXPECT_NE(log().find("Usage:"), std::string::npos);
    EXPECT_EQ(run({"-c2"}), 2);
    EXPECT_NE(log().find("No source file"), std::string::npos);
    EXPECT_NE(log().find("Usage:"), std::string::npos);
    writeFile(at("book.htm"), "text");
    EXPECT_EQ(run({at("book.htm"), "-o"}), 2);
    EXPECT_EQ(seen.calls, 0);
    EXPECT_EQ(files(), std::vector<std::string>{"book.htm"});
}

TEST_F(CommandLine, ConvertsBesideTheSourceAndReplacesAnOldOutput) {
    writeFile(at("book.html"), "text");
    writeFile(at("book.mobi"), "old");
    EXPECT_EQ(run({at("book.html"), "-c2"}), 0) << log();
    EXPECT_EQ(files(), (std::vector<std::string>{"book.html", "book.mobi"}));
    const std::string mobi = readFile(at("book.mobi"));
    EXPECT_EQ(mobi.substr(60, 8), "BOOKMOBI");
    EXPECT_EQ(be16(recordZero(mobi), 0), 2);
    EXPECT_EQ(seen.fallbackTitle, "book");
    EXPECT_EQ(seen.images, 0u);
    EXPECT_NE(log().find("Wrote"), std::string::npos);
}

TEST_F(CommandLine, CompressionOptions) {
    writeFile(at("a.htm"), "text");
    const std::pair<const char*, int> choices[] = {{"-c0", 1}, {"-c1", 2}, {"-c2", 2}};
    for (const auto& [option, field] : choices) {
        ASSERT_EQ(run({at("a.htm"), option}), 0) << log();
        EXPECT_EQ(be16(recordZero(readFile(at("a.mobi"))), 0), field) << option;
    }
}

TEST_F(CommandLine, UnknownOptionsAndReaderWarningsGiveExitOne) {
    writeFile(at("a.htm"), "text");
    EXPECT_EQ(run({"-dont_append_source", at("a.htm"), "-verbose"}), 1);
    EXPECT_NE(log().find("Warning: Unknown option -dont_append_source ignored."), std::string::npos) << log();
    EXPECT_NE(log().find("Info: Title: a"), std::string::npos) << log();
    writeFile(at("b.htm"), "WARN");
    EXPECT_EQ(run({at("b.htm")}), 1);
    EXPECT_NE(log().find("Warning: Something odd."), std::string::npos) << log();
    EXPECT_TRUE(fs::exists(at("b.mobi")));
}

TEST_F(CommandLine, OutputNameStaysInTheSourceFolder) {
    writeFile(at("a.epub"), "text");
    EXPECT_EQ(run({at("a.epub"), "-o", "other.mobi"}), 0) << log();
    EXPECT_TRUE(fs::exists(at("other.mobi")));
    for (const char* bad : {"sub/x.mobi", "..\\x.mobi", "", "..", "c:x.mobi", "A.EPUB"}) {
        EXPECT_EQ(run({at("a.epub"), "-o", bad}), 2) << bad;
        EXPECT_NE(log().find("Error:"), std::string::npos);
    }
    EXPECT_EQ(readFile(at("a.epub")), "text");
    EXPECT_EQ(files(), (std::vector<std::string>{"a.epub", "other.mobi"}));
}

TEST_F(CommandLine, RefusedInputsLeaveNothingBehind) {
    writeFile(at("notes.txt"), "text");
    writeFile(at("book.opf"), "text");
    EXPECT_EQ(run({at("notes.txt")}), 2);
    EXPECT_NE(log().find("notes.txt"), std::string::npos);
    EXPECT_EQ(run({at("book.opf")}), 2);
    EXPECT_EQ(run({at("missing.htm")}), 2);
    EXPECT_NE(log().find("Cannot open"), std::string::npos);
    EXPECT_EQ(seen.calls, 0);
    EXPECT_EQ(files(), (std::vector<std::string>{"book.opf", "notes.txt"}));
}

TEST_F(CommandLine, FailedConversionKeepsTheOldOutputAndRemovesTheTemporary) {
    writeFile(at("bad.htm"), "FAIL");
    writeFile(at("bad.mobi"), "old");
    writeFile(at("bad.mobi.mobigen-tmp"), "stale");
    EXPECT_EQ(run({at("bad.htm")}), 2);
    EXPECT_NE(log().find("Error: The book is broken."), std::string::npos) << log();
    EXPECT_EQ(readFile(at("bad.mobi")), "old");
    EXPECT_EQ(files(), (std::vector<std::string>{"bad.htm", "bad.mobi", "bad.mobi.mobigen-tmp"}));

    // A stale temporary from a crash does not stop the next good run, which cleans it up.
    writeFile(at("bad.htm"), "fine now");
    EXPECT_EQ(run({at("bad.htm")}), 0) << log();
    EXPECT_EQ(files(), (std::vector<std::string>{"bad.htm", "bad.mobi"}));
}

TEST_F(CommandLine, HtmlIsDecodedAndTheTitleFallsBackToTheFileName) {
    // Plain literals are in the system's narrow encoding, like real file names. In code page
    // 936 the second byte of 誠 is '\\', which must not split the name.
    const std::pair<std::string, std::string> names[] = {{"书名.htm", u8"书名"}, {"誠.htm", u8"誠"}};
    for (const auto& [name, title] : names) {
        writeFile(at(name), "<html><body>\xB5\xDA\xD2\xBB\xD5\xC2</body></html>");
        EXPECT_EQ(run({at(name)}), 0) << log();
        EXPECT_EQ(seen.html, u8"<html><body>第一章</body></html>");
        EXPECT_EQ(seen.fallbackTitle, title);
    }
}

TEST_F(CommandLine, HtmlImagesAreReadFromBesideTheSource) {
    writeFile(at("page.htm"), "text");
    writeFile(at("pic.gif"), "GIF89a");
    EXPECT_EQ(run({at("page.htm")}), 0) << log();
    EXPECT_EQ(seen.images, 1u);
}

}  // namespace
