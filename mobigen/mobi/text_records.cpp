#include "mobigen/mobi/palmdoc.h"
#include "mobigen/mobi/records.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace mobigen {
namespace {

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The rest of a character cut at `boundary`: readers use it to finish the record's last
// character, and it stays at the start of the next record as well.
std::string_view cutCharacterTail(std::string_view flow, std::size_t boundary) {
    std::size_t count = 0;
    while (count < 3 && boundary + count < flow.size() && isContinuationByte(flow[boundary + count])) ++count;
    return flow.substr(std::min(boundary, flow.size()), count);
}

}  // namespace

std::vector<std::string> buildTextRecords(std::string_view flow, Compression compression) {
    const std::size_t count = flow.empty() ? 1 : (flow.size() + kTextRecordSize - 1) / kTextRecordSize;
    std::vector<std::string> records(count);
    const auto build = [&](std::size_t i) {
        const std::size_t start = i * kTextRecordSize;
        const std::string_view chunk = flow.substr(start, kTextRecordSize);
        std::string record = compression == Compression::PalmDoc ? compressPalmDoc(chunk) : std::string(chunk);
        const std::string_view tail = cutCharacterTail(flow, start + chunk.size());
        record.append(tail.data(), tail.size());
        record.push_back(static_cast<char>(tail.size()));
        record.shrink_to_fit();  // the compressor reserves for the worst case; thousands are held
        records[i] = std::move(record);
    };
    // Records are compressed independently into their own slots, so the bytes do not depend
    // on the thread count.
    constexpr std::size_t kBatch = 32;
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto work = [&] {
        try {
            for (std::size_t first = next.fetch_add(kBatch); first < count; first = next.fetch_add(kBatch))
                for (std::size_t i = first; i < std::min(first + kBatch, count); ++i) build(i);
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
    return records;
}

}  // namespace mobigen
