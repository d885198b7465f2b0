#include "mobigen/cli/command_line.h"

#include "mobigen/book.h"
#include "mobigen/kf8/writer.h"
#include "mobigen/records/spool_file.h"
#include "mobigen/text/ascii.h"
#include "mobigen/text/encoding.h"
#include "platform/code_pages.h"
#include "platform/files.h"
#include "platform/mbstring.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <new>
#include <optional>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace mobigen {
namespace {

constexpr char kUsage[] =
    "Usage: mobigen <source.htm|source.html|source.epub> [-c0|-c1|-c2] [-mobi6|-azw3] [-o <file name>]\n"
    "               [-verbose] [-dont_append_source] [-locale <code>] [-gen_ff_mobi7]\n"
    "  Writes <source without extension>.mobi beside the source: a joint file, MOBI 6 (UTF-8)\n"
    "  for old readers and KF8 for newer ones.\n"
    "  -c0          no compression\n"
    "  -c1, -c2     PalmDOC compression (the default)\n"
    "  -mobi6       write the MOBI 6 part alone\n"
    "  -azw3        write the KF8 part alone, as <source without extension>.azw3\n"
    "  -o <name>    output file name, placed in the source's folder\n"
    "  -verbose     report each step\n"
    "  -dont_append_source, -locale <code>, -gen_ff_mobi7\n"
    "               accepted for older tools' sake and ignored: the source is never appended,\n"
    "               messages are in English, and no separate fixed-layout MOBI 7 is made\n"
    "Exit status: 0 success, 1 success with warnings, 2 failure.\n";

// The partial file beside the output; it becomes the output only once complete.
constexpr char kTemporarySuffix[] = ".mobigen-tmp";
constexpr char kSpoolSuffix[] = ".mobigen-records";

struct Options {
    std::string source;
    std::optional<std::string> outputName;
    Compression compression = Compression::PalmDoc;
    OutputKind kind = OutputKind::Joint;
    bool verbose = false;
    std::vector<std::string> ignored;  // options that change nothing here, noted under -verbose
};

// A failure the user can act on; the text is in the console's encoding already.
struct Failure {
    std::string message;
    bool showUsage = false;
};

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
        } else if (argument == "-mobi6") {
            options.kind = OutputKind::Mobi6;
        } else if (argument == "-azw3") {
            options.kind = OutputKind::Kf8;
        } else if (argument == "-dont_append_source" || argument == "-gen_ff_mobi7") {
            options.ignored.push_back(argument);
        } else if (argument == "-locale") {
            if (i + 1 == arguments.size()) throw Failure{"-locale needs a language code."};
            options.ignored.push_back(argument + " " + arguments[++i]);
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
    std::string folder;  // with its trailing separator, or empty
    std::string fileName;
    std::string stem;       // the file name without its extension
    std::string extension;  // lower case, without the dot
};

SourcePath splitSource(const std::string& path) {
    SourcePath parts;
    const std::size_t separator = platform::lastPathSeparator(path);
    const std::size_t nameStart = separator == std::string::npos ? 0 : separator + 1;
    parts.folder = path.substr(0, nameStart);
    parts.fileName = path.substr(nameStart);
    const std::size_t dot = parts.fileName.rfind('.');
    parts.stem = dot == std::string::npos ? parts.fileName : parts.fileName.substr(0, dot);
    parts.extension = dot == std::string::npos ? "" : lowerAscii(parts.fileName.substr(dot + 1));
    return parts;
}

std::string outputPathFor(const SourcePath& source, const Options& options) {
    if (!options.outputName) return source.folder + source.stem + (options.kind == OutputKind::Kf8 ? ".azw3" : ".mobi");
    const std::string& name = *options.outputName;
    if (name.empty() || name == "." || name == ".." || !platform::isPlainFileName(name))
        throw Failure{"-o takes a plain file name without a folder: \"" + name + "\"."};
    if (lowerAscii(name) == lowerAscii(source.fileName))
        throw Failure{"The output name " + name + " would overwrite the source."};
    return source.folder + name;
}

enum class ReadFailure { None, Open, Read };

// Read straight into a string of the size the file has (a byte over, so that the end shows
// without growing it): a book of photos is not copied and faulted in again at each doubling.
std::string readWholeFile(const std::string& path, ReadFailure& failure) {
    platform::InputFile in;
    failure = ReadFailure::Open;
    if (!in.open(path)) return {};
    std::string bytes;
    const long long expected = in.size();
    const bool trusted = expected >= 0 && static_cast<unsigned long long>(expected) < bytes.max_size() / 2;
    bytes.resize(trusted ? static_cast<std::size_t>(expected) + 1 : 64 * 1024);
    failure = ReadFailure::Read;
    std::size_t used = 0;
    for (long long got; (got = in.read(&bytes[used], bytes.size() - used)) != 0;) {
        if (got < 0) return {};
        used += static_cast<std::size_t>(got);
        if (used == bytes.size()) bytes.resize(2 * used);  // it grew while being read
    }
    bytes.resize(used);
    failure = ReadFailure::None;
    return bytes;
}

std::string readSource(const std::string& path) {
    ReadFailure failure;
    std::string bytes = readWholeFile(path, failure);
    if (failure == ReadFailure::Open) throw Failure{"Cannot open " + path + "."};
    if (failure == ReadFailure::Read) throw Failure{"Cannot read " + path + "."};
    return bytes;
}

void mapLargeBlocks() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024);
#endif
}

// Fitting pictures frees and asks again for blocks of the same few sizes; kept in the heap they
// are reused, where each block mapped or trimmed anew is faulted in again page by page.
void keepFreedBlocks() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

// Images of an HTML source, named relative to its folder; absolute names are refused.
ResourceLoader resourcesBeside(const SourcePath& source) {
    return [folder = source.folder](const std::string& relativePath) -> std::optional<std::string> {
        if (relativePath.empty() || relativePath[0] == '/' || relativePath[0] == '\\' ||
            relativePath.find(':') != std::string::npos)
            return std::nullopt;
        ReadFailure failure;
        std::string bytes = readWholeFile(folder + platform::utf8ToFileName(relativePath), failure);
        if (failure != ReadFailure::None) return std::nullopt;
        return bytes;
    };
}

// Takes the source so that it is freed as soon as it is no longer needed: a page's once decoded.
Book readBook(const SourcePath& source, std::string bytes, const BookReaders& readers, Diagnostics& diagnostics) {
    const std::string fallbackTitle = platform::fileNameToUtf8(source.stem);
    if (source.extension == "epub") return readers.epub(bytes, fallbackTitle, diagnostics);
    std::string utf8 = decodeHtmlToUtf8(bytes, diagnostics);
    std::string().swap(bytes);
    return readers.html(std::move(utf8), fallbackTitle, diagnostics, resourcesBeside(source));
}

void describe(const Book& book, Console& console) {
    console.info("Title: " + platform::utf8ToConsole(book.metadata.title));
    console.info("Text: " + std::to_string(book.flow.size()) + " bytes, " + std::to_string(book.images.size()) +
                 " images, " + std::to_string(book.toc.size()) + " table of contents entries.");
}

int convert(const Options& options, const BookReaders& readers, Console& console) {
    const auto started = std::chrono::steady_clock::now();
    const SourcePath source = splitSource(options.source);
    if (source.extension != "htm" && source.extension != "html" && source.extension != "epub")
        throw Failure{"Unsupported input " + source.fileName + ": give an .htm, .html or .epub file."};
    const std::string output = outputPathFor(source, options);
    std::string bytes = readSource(options.source);
    if (options.verbose)
        for (const std::string& option : options.ignored) console.info("Option " + option + " has no effect here.");
    if (options.verbose) console.info("Read " + options.source + " (" + std::to_string(bytes.size()) + " bytes).");

    // The big blocks of a page are its texts, each released once written: a fixed threshold maps
    // them, so freeing returns them, and room reserved but never written costs nothing. An
    // EPUB's images are fitted first, reusing their buffers; mapping each anew costs more.
    if (source.extension != "epub")
        mapLargeBlocks();
    else
        keepFreedBlocks();
    Diagnostics diagnostics;
    Book book = readBook(source, std::move(bytes), readers, diagnostics);
    mapLargeBlocks();
    if (options.verbose) describe(book, console);
    if (options.verbose && !hasKf8Part(book) && options.kind == OutputKind::Joint)
        console.info("No KF8 content was read, so the book is MOBI 6 alone.");
    SpooledRecords records(output + kSpoolSuffix);
    const std::string header = writeBook(std::move(book), options.compression, options.kind, diagnostics, records);
    PartialFile partial(output + kTemporarySuffix);
    const std::uint64_t size = records.writeFileAs(header, partial);
    partial.commitAs(output);

    for (const std::string& warning : diagnostics.warnings) console.warning(platform::utf8ToConsole(warning));
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    console.info("Wrote " + output + " (" + std::to_string(size) + " bytes" +
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
    } catch (const FileFailure& failure) {
        console.error(failure.message);
    } catch (const ConversionError& error) {
        console.error(platform::utf8ToConsole(error.message));
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
