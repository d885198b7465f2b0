#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mobigen {

enum class Compression { None, PalmDoc };

// Where a book's records go, in file order, as they are made; their sizes make the PalmDB
// header, which is written last, in front of them.
class RecordSink {
public:
    virtual ~RecordSink() = default;
    void add(std::string_view record) {
        sizes_.push_back(static_cast<std::uint32_t>(record.size()));
        store(record);
    }
    const std::vector<std::uint32_t>& sizes() const { return sizes_; }

private:
    virtual void store(std::string_view record) = 0;
    std::vector<std::uint32_t> sizes_;
};

// The records held in memory, each on its own.
class RecordList : public RecordSink {
public:
    std::vector<std::string> records;

private:
    void store(std::string_view record) override { records.emplace_back(record); }
};

}  // namespace mobigen
