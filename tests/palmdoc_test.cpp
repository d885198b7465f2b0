#include "mobigen/mobi_records.h"
#include "mobigen/palmdoc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <stdexcept>

namespace {

using mobigen::compressPalmDoc;

// Written from the format description, independent of the compressor.
std::string decompress(std::string_view in) {
    std::string out;
    for (std::size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i++]);
        if (b >= 0x01 && b <= 0x08) {
            if (i + b > in.size()) throw std::runtime_error("literal run past the end");
            out.append(in.substr(i, b));
            i += b;
        } else if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else if (b >= 0xC0) {
            out.push_back(' ');
            out.push_back(static_cast<char>(b ^ 0x80));
        } else {
            if (i >= in.size()) throw std::runtime_error("match cut off");
            const unsigned word = (b << 8) | static_cast<unsigned char>(in[i++]);
            const std::size_t distance = (word >> 3) & 0x7FF;
            const std::size_t length = (word & 7) + 3;
            if (distance == 0 || distance > out.size()) throw std::runtime_error("bad distance");
            for (std::size_t k = 0; k < length; ++k) out.push_back(out[out.size() - distance]);
        }
    }
    return out;
}

std::string randomBytes(std::size_t size, unsigned seed, int alphabet) {
    std::mt19937 rng(seed);
    std::string s(size, '\0');
    for (char& c : s) c = static_cast<char>(rng() % static_cast<unsigned>(alphabet));
    return s;
}

std::string repeat(std::string_view piece, std::size_t times) {
    std::string s;
    for (std::size_t i = 0; i < times; ++i) s += piece;
    return s;
}

TEST(PalmDoc, RoundTripsAwkwardRecords) {
    std::string allBytes;
    for (int round = 0; round < 16; ++round)
        for (int b = 0; b < 256; ++b) allBytes.push_back(static_cast<char>(b));
    const std::string cases[] = {
        "",
        "a",
        " ",
        "x ",
        allBytes.substr(0, 4096),
        std::string(4096, 'a'),
        std::string(4096, '\0'),
        std::string(4096, '\x80'),
        std::string(4096, ' '),
        repeat(" A", 2048),
        repeat("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 400),
        randomBytes(4096, 1, 256),
        randomBytes(4096, 2, 4),
        repeat(u8"第一章 风起云涌。他说：“你好，世界！”\n", 60).substr(0, 4096),
    };
    for (const std::string& input : cases) {
        const std::string packed = compressPalmDoc(input);
        EXPECT_EQ(decompress(packed), input) << "input of " << input.size() << " bytes";
    }
}

TEST(PalmDoc, CompressesTextAndNeverExpandsMuch) {
    const std::string prose = repeat("It was the best of times, it was the worst of times. ", 80).substr(0, 4096);
    EXPECT_LT(compressPalmDoc(prose).size(), prose.size() / 3);
    const std::string chinese = repeat(u8"天下大势，分久必合，合久必分。", 100).substr(0, 4096);
    EXPECT_LT(compressPalmDoc(chinese).size(), chinese.size() / 2);
    // High bytes need a count byte per 8, so the worst case is 9/8.
    const std::string noise = randomBytes(4096, 3, 256);
    EXPECT_LE(compressPalmDoc(noise).size(), noise.size() * 9 / 8 + 1);
}

// Decodes text records as readers do: drop (last & 3) + 1 trailing bytes, then join.
std::string readBack(const std::vector<std::string>& records, bool compressed) {
    std::string flow;
    for (const std::string& record : records) {
        EXPECT_FALSE(record.empty());
        const std::size_t trailing = (static_cast<unsigned char>(record.back()) & 3) + 1;
        const std::string body = record.substr(0, record.size() - trailing);
        const std::string text = compressed ? decompress(body) : body;
        EXPECT_LE(text.size(), mobigen::kTextRecordSize);
        flow += text;
    }
    return flow;
}

TEST(TextRecords, CutsEvery4096BytesWithMultibyteTrailingEntries) {
    // Three-byte characters after a one-byte offset: boundaries fall inside characters.
    const std::string flow = "<" + repeat(u8"中文字", 3000);
    for (auto compression : {mobigen::Compression::None, mobigen::Compression::PalmDoc}) {
        const auto records = mobigen::buildTextRecords(flow, compression);
        ASSERT_EQ(records.size(), (flow.size() + 4095) / 4096);
        EXPECT_EQ(readBack(records, compression == mobigen::Compression::PalmDoc), flow);
        for (std::size_t i = 0; i < records.size(); ++i) {
            const std::size_t boundary = (i + 1) * 4096;
            std::size_t cut = 0;
            while (boundary + cut < flow.size() && (static_cast<unsigned char>(flow[boundary + cut]) & 0xC0) == 0x80)
                ++cut;
            const std::string& record = records[i];
            ASSERT_EQ(static_cast<std::size_t>(record.back()), cut) << "record " << i;
            if (cut > 0) {
                EXPECT_EQ(record.substr(record.size() - 1 - cut, cut), flow.substr(boundary, cut));
            }
        }
    }
}

TEST(TextRecords, EmptyAndExactMultipleFlows) {
    const auto empty = mobigen::buildTextRecords("", mobigen::Compression::PalmDoc);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(readBack(empty, true), "");
    const std::string exact(8192, 'z');
    const auto records = mobigen::buildTextRecords(exact, mobigen::Compression::PalmDoc);
    EXPECT_EQ(records.size(), 2u);
    EXPECT_EQ(readBack(records, true), exact);
}

TEST(PalmDoc, LargeInputIsFast) {
    // A quadratic scan would take seconds here; the hash chain takes milliseconds.
    const std::string flow = randomBytes(8 << 20, 4, 16);
    const auto start = std::chrono::steady_clock::now();
    const auto records = mobigen::buildTextRecords(flow, mobigen::Compression::PalmDoc);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(records.size(), 2048u);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count(), 10);
}

}  // namespace
