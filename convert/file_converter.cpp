#include "convert/file_converter.h"

#include "convert/html_document.h"
#include "convert/messages.h"
#include "convert/path_helpers.h"
#include "convert/text_lines.h"
#include "platform/files.h"
#include "platform/mbstring.h"
#include "platform/message.h"
#include "platform/process.h"

#include <new>

namespace {

// The user's own file that has the intermediate file's name. It is moved to a free name
// beside it while the intermediate exists, and put back afterwards, so it is never lost.
class SetAsideFile {
public:
    SetAsideFile() = default;
    SetAsideFile(const SetAsideFile&) = delete;
    SetAsideFile& operator=(const SetAsideFile&) = delete;
    ~SetAsideFile() { restore(); }

    bool moveAside(const std::string& path) {
        for (int attempt = 1; attempt < 1000; ++attempt) {
            std::string candidate = path + ".orig";
            if (attempt > 1) candidate += std::to_string(attempt);
            if (fileExists(candidate)) continue;
            if (!platform::moveFile(path, candidate)) return false;
            original_ = path;
            aside_ = candidate;
            return true;
        }
        return false;
    }

    bool restore() {
        if (aside_.empty()) return true;
        if (!platform::moveFile(aside_, original_)) return false;
        aside_.clear();
        return true;
    }

    const std::string& asideName() const { return aside_; }

private:
    std::string original_;
    std::string aside_;
};

bool readDocument(platform::InputFile& source, HtmlDocument& document) {
    TextLineReader reader(source);
    std::string line;
    for (;;) {
        switch (reader.next(line)) {
        case TextLineReader::Result::Line:
            document.addElement(std::make_unique<TextLineElement>(std::move(line)));
            break;
        case TextLineReader::Result::End:
            return true;
        case TextLineReader::Result::Error:
            return false;
        }
    }
}

}  // namespace

void FileConverter::showMessage(const std::string& text) { platform::showUserMessage(ownerWindow(), text); }

bool FileConverter::convertFile(const std::string& path) {
    const std::string extension = fileExtension(path);
    switch (sourceKind(extension)) {
    case SourceKind::Text:
        return convertTextFile(path);
    case SourceKind::Direct:
        return convertDirect(path);
    case SourceKind::NotAccepted:
    case SourceKind::AcceptedNotConvertible:
        break;
    }
    showMessage(messages::unsupportedType(extension));
    return false;
}

bool FileConverter::convertTextFile(const std::string& path) {
    const std::string base = stripExtension(path);
    const std::string htm = base + ".htm";
    SetAsideFile usersFile;
    if (fileExists(htm) && !usersFile.moveAside(htm)) {
        showMessage(messages::deletePageFailedRestart(htm));
        return false;
    }
    const bool converted = convertThroughIntermediate(path, htm, base + ".mobi");
    if (!usersFile.restore()) {
        showMessage(messages::restoreFailed(htm, usersFile.asideName()));
    }
    return converted;
}

bool FileConverter::convertThroughIntermediate(const std::string& path, const std::string& htm,
                                               const std::string& mobi) {
    if (!writeHtmlFromText(path, htm)) {
        showMessage(messages::pageFailed(path));
        return false;
    }
    if (fileExists(mobi) && !platform::deleteFile(mobi)) {
        showMessage(messages::deleteTargetFailedRestart(mobi));
        platform::deleteFile(htm);
        return false;
    }
    runConverter(htm, mobi);
    const bool converted = fileExists(mobi);
    if (!converted) showMessage(messages::kNoOutput);
    platform::deleteFile(htm);
    return converted;
}

bool FileConverter::convertDirect(const std::string& path) {
    const std::string mobi = stripExtension(path) + ".mobi";
    if (fileExists(mobi) && !platform::deleteFile(mobi)) {
        showMessage(messages::deleteTargetFailedConvertAgain(mobi));
        return false;
    }
    runConverter(path, mobi);
    if (fileExists(mobi)) return true;
    showMessage(messages::kNoOutput);
    return false;
}

void FileConverter::runConverter(const std::string& source, const std::string& mobi) {
    const std::string toolsFolder = programDirectory + platform::pathSeparator() + "Tools";
    const auto exitCode = platform::runAndWait(ownerWindow(), converterPath, "\"" + source + "\" -c2", toolsFolder, 0);
    // The converter reports 0 for success and 1 for success with warnings. Anything else
    // (an error, a crash) means a book it may have left behind is broken, and a broken book
    // must not be reported as converted. The stale one was removed before the run, so
    // whatever lies there now is the converter's.
    constexpr unsigned long kSucceededWithWarnings = 1;
    if (exitCode && *exitCode > kSucceededWithWarnings) platform::deleteFile(mobi);
}

bool FileConverter::writeHtmlFromText(const std::string& sourcePath, const std::string& htmlPath) {
    std::string html;
    {
        platform::InputFile source;
        HtmlDocument document;
        bool read = false;
        if (source.open(sourcePath)) {
            // A book too big for memory is a failed read, not a crash.
            try {
                read = readDocument(source, document);
                if (read) html = document.toHtml();
            } catch (const std::bad_alloc&) {
                read = false;
            }
        }
        if (!read) {
            showMessage(messages::openFailed(sourcePath));
            return false;
        }
    }
    if (fileExists(htmlPath) && !platform::deleteFile(htmlPath)) {
        showMessage(messages::deletePageFailed(htmlPath));
        return false;
    }
    platform::OutputFile output;
    if (!output.create(htmlPath)) {
        showMessage(messages::createFailed(htmlPath));
        return false;
    }
    const bool written = output.write(html.data(), html.size());
    if (!output.close() || !written) {
        // A half-written page would be converted as if it were the whole book.
        platform::deleteFile(htmlPath);
        showMessage(messages::createFailed(htmlPath));
        return false;
    }
    return true;
}
