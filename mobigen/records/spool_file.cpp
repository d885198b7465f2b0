#include "mobigen/records/spool_file.h"

namespace mobigen {
namespace {

FileFailure cannotWrite(const std::string& path) {
    return FileFailure{"Cannot write " + path + " (is the disk full?)."};
}

}  // namespace

PartialFile::~PartialFile() {
    if (!committed_) platform::deleteFile(path_);
}

void PartialFile::commitAs(const std::string& target) {
    if (!platform::replaceFile(path_, target))
        throw FileFailure{"Cannot replace " + target + "; is it open in another program?"};
    committed_ = true;
}

SpooledRecords::SpooledRecords(const std::string& path) : spool_(path) {
    if (!file_.create(path)) throw FileFailure{"Cannot create " + path + "."};
    buffer_.reserve(kChunk);
}

std::uint64_t SpooledRecords::writeFileAs(const std::string& header, const PartialFile& target) {
    flush();
    file_.discard();
    platform::OutputFile out;
    if (!out.create(target.path())) throw FileFailure{"Cannot create " + target.path() + "."};
    bool written = out.write(header.data(), header.size());
    platform::InputFile in;
    if (!in.open(spool_.path())) throw FileFailure{"Cannot open " + spool_.path() + "."};
    std::uint64_t size = header.size();
    buffer_.resize(kChunk);
    for (long long got; written && (got = in.read(buffer_.data(), kChunk)) != 0; size += got) {
        if (got < 0) throw FileFailure{"Cannot read " + spool_.path() + "."};
        written = out.write(buffer_.data(), static_cast<std::size_t>(got));
    }
    if (!out.close() || !written) throw cannotWrite(target.path());
    return size;
}

void SpooledRecords::store(std::string_view record) {
    buffer_.append(record);
    if (buffer_.size() >= kChunk) flush();
}

void SpooledRecords::flush() {
    if (!file_.write(buffer_.data(), buffer_.size())) throw cannotWrite(spool_.path());
    buffer_.clear();
}

}  // namespace mobigen
