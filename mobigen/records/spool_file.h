#pragma once

#include "mobigen/records/record_sink.h"
#include "platform/files.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace mobigen {

// A file step that failed; the text is in the console's encoding, as the paths in it are.
struct FileFailure {
    std::string message;
};

// Removes the partial file on every path out, unless it has become the output.
class PartialFile {
public:
    explicit PartialFile(std::string path) : path_(std::move(path)) {}
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    const std::string& path() const { return path_; }
    void commitAs(const std::string& target);

private:
    std::string path_;
    bool committed_ = false;
};

// Records go to a spool file as they are made, a quarter megabyte at a time: the PalmDB header that
// lists them can only be written once all are known, and a long book is not held twice.
class SpooledRecords : public RecordSink {
public:
    explicit SpooledRecords(const std::string& path);
    ~SpooledRecords() override { file_.discard(); }
    SpooledRecords(const SpooledRecords&) = delete;
    SpooledRecords& operator=(const SpooledRecords&) = delete;

    // Writes the header and then the records into `target`; returns the bytes written.
    std::uint64_t writeFileAs(const std::string& header, const PartialFile& target);

private:
    static constexpr std::size_t kChunk = 256 << 10;

    void store(std::string_view record) override;
    void flush();

    PartialFile spool_;
    platform::OutputFile file_;
    std::string buffer_;
};

}  // namespace mobigen
