#include "mobigen/command_line.h"

#include "mobigen/book.h"
#include "mobigen/encoding.h"
#include "mobigen/file_system.h"
#include "mobigen/mobi_writer.h"
#include "mobigen/transcode.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <new>
#include <optional>

namespace mobigen {
namespace {

constexpr char kUsage[] =
    "Usage: mobigen <source.htm|source.html|source.epub> [-c0|-c1|-c2] [-o <file name>] [-verbose]\n"
    "  Writes <source without extension>.mobi (MOBI 6, UTF-8) beside the source.\n"
    "  -c0          no compression\n"
    "  -c1, -c2     PalmDOC compression (the default)\n"
    "  -o <name>    output file name, placed in the source's folder\n"
    "  -verbose     report each step\n"
    "Exit status: 0 success, 1 success with warnings, 2 failure.\n";

// The partial file beside the output; it becomes the output only once complete.
constexpr char kTemporarySuffix[] = ".mobigen-tmp";

struct Options {
    std::string source;
    std::optional<std::string> outputName;
    Compression compression = Compression::PalmDoc;
    bool verbose = false;
};

// A failure the user can act on; the text is in the console's encoding already.
struct Failure {
    std::string message;
    bool showUsage = false;
};

std::string lowercase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

class Console {
public:
    explicit Console(std::ostream& out) : out_(out) {}
    void info(const std::string& text) { out_ << "Info: " << text << '\n'; }
    void warning(const std::string& text) {
        out_ << "Warning: " << text << '\n';
        ++warnings_;
    }
    int warnings() const { return warnings_; }
    void error(const std::string& text) { out_ << "Error: " << text << '\n'; }
    void usage() { out_ << kUsage; }

private:
    std::ostream& out_;
    int warnings_ = 0;
};

Options parseArguments(const std::vector<std::string>& arguments, Console& console) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "-c0") {
            options.compression = Compression::None;
        } else if (argument == "-c1" || argument == "-c2") {
            options.compression = Compression::PalmDoc;
        } else if (argument == "-verbose") {
            options.verbose = true;
        } else if (argument == "-o") {
            if (i + 1 == arguments.size()) throw Failure{"-o needs a file name."};
            options.outputName = arguments[++i];
        } else if (argument.size() > 1 && argument[0] == '-') {
            console.warning("Unknown option " + argument + " ignored.");
        } else if (options.source.empty()) {
            options.source = argument;
        } else {
            console.warning("Extra argument " + argument + " ignored.");
        }
    }
    if (options.source.empty()) throw Failure{"No source file given.", true};
    return options;
}

struct SourcePath {
    std::string folder;     // with its trailing separator, or empty
    std::string fileName;
    std::string stem;       // the file name without its extension
    std::string extension;  // lower case, without the dot
};

SourcePath splitSource(const std::string& path) {
    SourcePath parts;
    const std::size_t separator = lastPathSeparator(path);
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    parts.folder = path.substr(0, nameStart);
    parts.fileName = path.substr(nameStart);
    const std::size_t dot = parts.fileName.rfind('.');
    parts.stem = dot == std::string::npos ? parts.fileName : parts.fileName.substr(0, dot);
    parts.extension = dot == std::string::npos ? "" : lowercase(parts.fileName.substr(dot + 1));
    return parts;
}

std::string outputPathFor(const SourcePath& source, const Options& options) {
    if (!options.outputName) return source.folder + source.stem + ".mobi";
    const std::string& name = *options.outputName;
    if (name.empty() || name == "." || name == ".." || !isPlainFileName(name))
        throw Failure{"-o takes a plain file name without a folder: \"" + name + "\"."};
    if (lowercase(name) == lowercase(source.fileName))
        throw Failure{"The output name " + name + " would overwrite the source."};
    return source.folder + name;
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure{"Cannot open " + path + "."};
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) throw Failure{"Cannot read " + path + "."};
    return bytes;
}

// Removes the partial file on every path out, unless it has become the output.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!committed_) std::remove(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    void write(const std::string& bytes) {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        if (!out) throw Failure{"Cannot create " + path_ + "."};
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) throw Failure{"Cannot write " + path_ + " (is the disk full?)."};
    }
    void commitAs(const std::string& target) {
        if (!replaceFile(path_, target)) throw Failure{"Cannot replace " + target + "; is it open in another program?"};
        committed_ = true;
    }

private:
    std::string path_;
    bool committed_ = false;
};

// Images of an HTML source, named relative to its folder; absolute names are refused.
ResourceLoader resourcesBeside(const SourcePath& source) {
    return [folder = source.folder](const std::string& relativePath) -> std::optional<std::string> {
        if (relativePath.empty() || relativePath[0] == '/' || relativePath[0] == '\\' ||
            relativePath.find(':') != std::string::npos)
            return std::nullopt;
        std::ifstream in(folder + utf8ToFileName(relativePath), std::ios::binary);
        if (!in) return std::nullopt;
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) return std::nullopt;
        return bytes;
    };
}

Book readBook(const SourcePath& source, const std::string& bytes, const BookReaders& readers,
              Diagnostics& diagnostics) {
    const std::string fallbackTitle = fileNameToUtf8(source.stem);
    if (source.extension == "epub") return readers.epub(bytes, fallbackTitle, diagnostics);
    return readers.html(decodeHtmlToUtf8(bytes, diagnostics), fallbackTitle, diagnostics, resourcesBeside(source));
}

void describe(const Book& book, Console& console) {
    console.info("Title: " + utf8ToConsole(book.metadata.title));
    console.info("Text: " + std::to_string(book.flow.size()) + " bytes, " + std::to_string(book.images.size()) +
                 " images, " + std::to_string(book.toc.size()) + " table of contents entries.");
}

int convert(const Options& options, const BookReaders& readers, Console& console) {
    const auto started = std::chrono::steady_clock::now();
    const SourcePath source = splitSource(options.source);
    if (source.extension != "htm" && source.extension != "html" && source.extension != "epub")
        throw Failure{"Unsupported input " + source.fileName + ": give an .htm, .html or .epub file."};
    const std::string output = outputPathFor(source, options);
    const std::string bytes = readWholeFile(options.source);
    if (options.verbose) console.info("Read " + options.source + " (" + std::to_string(bytes.size()) + " bytes).");

    Diagnostics diagnostics;
    const Book book = readBook(source, bytes, readers, diagnostics);
    if (options.verbose) describe(book, console);
    const std::string mobi = writeMobi(book, options.compression);

    TemporaryFile partial(output + kTemporarySuffix);
    partial.write(mobi);
    partial.commitAs(output);

    for (const std::string& warning : diagnostics.warnings) console.warning(utf8ToConsole(warning));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    console.info("Wrote " + output + " (" + std::to_string(mobi.size()) + " bytes" +
                 (options.verbose ? ", " + std::to_string(elapsed.count()) + " ms" : std::string()) + ").");
    return console.warnings() == 0 ? kExitSuccess : kExitWarnings;
}

}  // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, const BookReaders& readers) {
    Console console(out);
    if (arguments.empty()) {
        console.usage();
        return kExitFailure;
    }
    try {
        return convert(parseArguments(arguments, console), readers, console);
    } catch (const Failure& failure) {
        console.error(failure.message);
        if (failure.showUsage) console.usage();
    } catch (const ConversionError& error) {
        console.error(utf8ToConsole(error.message));
    } catch (const std::bad_alloc&) {
        console.error("Out of memory; the book is too large.");
    } catch (const std::exception& error) {
        console.error(std::string("Internal error: ") + error.what());
    } catch (...) {
        console.error("Internal error.");
    }
    out << "No output was written.\n";
    return kExitFailure;
}

}  // namespace mobigen
