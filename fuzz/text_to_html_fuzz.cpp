// The text-to-HTML step on any file content, against the page worked out on its own from the
// text-mode rules (tests/support/checks.h).

#include "convert/file_converter.h"
#include "fuzz/fuzz_support.h"
#include "tests/support/checks.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace {

namespace fs = std::filesystem;

// The step reads in 64 KiB blocks; a first byte of 0x80 or more moves the rest of the input
// up to the end of the first block, so line ends straddle it.
constexpr std::size_t kReadBlock = 64 * 1024;

class QuietConverter : public FileConverter {
public:
    std::string lastMessage;

protected:
    void showMessage(const std::string& text) override { lastMessage = text; }
};

class ScratchFolder {
public:
    ScratchFolder() {
        std::random_device device;
        // The step syncs the page it writes; on a disk that alone caps the run at a few
        // hundred inputs a second, so a memory-backed folder is used where there is one.
        const fs::path memory = "/dev/shm";
        const fs::path base = fs::is_directory(memory) ? memory : fs::temp_directory_path();
        path_ = base / ("text-to-html-fuzz-" + std::to_string(device()));
        fs::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const char* name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::string fileContent(std::string_view input) {
    if (input.empty() || static_cast<unsigned char>(input[0]) < 0x80) return std::string(input);
    const std::size_t before = static_cast<unsigned char>(input[0]) - 0x80u;
    return std::string(kReadBlock - before, 'x').append(input.substr(1));
}

void writeWhole(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out.flush()) fuzz::fail("cannot write the scratch file");
}

std::string readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ScratchFolder folder;
    const std::string source = folder.file("book.txt");
    const std::string html = folder.file("book.htm");
    const std::string content = fileContent(fuzz::bytesOf(data, size));
    writeWhole(source, content);

    QuietConverter converter;
    if (!converter.writeHtmlFromText(source, html)) fuzz::fail("the step failed: " + converter.lastMessage);
    if (readWhole(html) != test_support::textModePage(content))
        fuzz::fail("the page differs from the text-mode reading");
    return 0;
}
