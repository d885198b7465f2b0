#include "mobigen/records/palmdoc.h"
#include "mobigen/records/records.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace mobigen {
namespace {

// Records are compressed a window at a time and handed on, so a long novel's compressed text
// is never held whole.
constexpr std::size_t kWindowRecords = 128;
constexpr std::size_t kBatch = 32;

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The rest of a character cut at `boundary`: readers use it to finish the record's last
// character, and it stays at the start of the next record as well.
std::string_view cutCharacterTail(std::string_view flow, std::size_t boundary) {
    std::size_t count = 0;
    while (count < 3 && boundary + count < flow.size() && isContinuationByte(flow[boundary + count])) ++count;
    return flow.substr(std::min(boundary, flow.size()), count);
}

std::string textRecord(std::string_view flow, std::size_t index, Compression compression) {
    const std::size_t start = index * kTextRecordSize;
    const std::string_view chunk = flow.substr(start, kTextRecordSize);
    std::string record = compression == Compression::PalmDoc ? compressPalmDoc(chunk) : std::string(chunk);
    const std::string_view tail = cutCharacterTail(flow, start + chunk.size());
    record.append(tail.data(), tail.size());
    record.push_back(static_cast<char>(tail.size()));
    return record;
}

// Each record goes into its own slot, so the bytes do not depend on the thread count.
void compressWindow(std::string_view flow, std::size_t first, Compression compression,
                    std::vector<std::string>& window) {
    const std::size_t count = window.size();
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto work = [&] {
        try {
            for (std::size_t batch = next.fetch_add(kBatch); batch < count; batch = next.fetch_add(kBatch))
                for (std::size_t i = batch; i < std::min(batch + kBatch, count); ++i)
                    window[i] = textRecord(flow, first + i, compression);
        } catch (...) {
            const std::lock_guard<std::mutex> hold(failureLock);
            if (!failure) failure = std::current_exception();
            next = count;
        }
    };
    const std::size_t threads = compression == Compression::PalmDoc
                                    ? std::min<std::size_t>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u),
                                                            (count + kBatch - 1) / kBatch)
                                    : 1;
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace

std::size_t textRecordCount(std::size_t flowSize) {
    return flowSize == 0 ? 1 : (flowSize + kTextRecordSize - 1) / kTextRecordSize;
}

void writeTextRecords(std::string_view flow, Compression compression, RecordSink& records) {
    const std::size_t count = textRecordCount(flow.size());
    std::vector<std::string> window;
    for (std::size_t first = 0; first < count; first += kWindowRecords) {
        window.assign(std::min(kWindowRecords, count - first), std::string());
        compressWindow(flow, first, compression, window);
        for (const std::string& record : window) records.add(record);
    }
}

}  // namespace mobigen
