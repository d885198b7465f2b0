// Random records are the fuzz target's job (fuzz/palmdoc_fuzz.cpp); these are the edges.
#include "mobigen/records/palmdoc.h"
#include "mobigen/records/records.h"
#include "tests/support/checks.h"

#include <gtest/gtest.h>

namespace {

using mobigen::Compression;
using test_support::repeat;

std::string unpacked(const std::string& packed) {
    return test_support::decodePalmDoc(packed).value_or("<undecodable>");
}

TEST(PalmDoc, RoundTripsEdgeRecordsAndCompressesText) {
    std::string allBytes;
    for (int b = 0; b < 4096; ++b) allBytes.push_back(static_cast<char>(b));
    // Noise without a nearer match, repeated: each repeat lies just outside the 2047-byte window.
    std::string noise;
    for (unsigned x = 1; noise.size() < 2048;) noise.push_back(static_cast<char>((x = x * 1103515245u + 12345u) >> 24));
    struct Case {
        std::string record;
        double worstRatio;
    };
    const Case cases[] = {
        {"", 1},
        {"x ", 1},
        {allBytes, 1.13},  // high bytes cost a count byte per eight
        {noise + noise, 1.13},
        {std::string(4096, 'a'), 0.25},
        {std::string(4096, '\x80'), 0.25},
        {repeat(" A", 2048), 0.25},
        {repeat(u8"天下大势，分久必合，合久必分。", 100).substr(0, 4096), 0.5},
    };
    for (const Case& c : cases) {
        const std::string packed = mobigen::compressPalmDoc(c.record);
        EXPECT_EQ(unpacked(packed), c.record) << c.record.size() << " bytes";
        EXPECT_LE(static_cast<double>(packed.size()), static_cast<double>(c.record.size()) * c.worstRatio + 1);
    }
}

std::vector<std::string> textRecords(std::string_view flow, Compression compression) {
    mobigen::RecordList list;
    mobigen::writeTextRecords(flow, compression, list);
    return list.records;
}

// Decodes text records as readers do: drop the multibyte trailing entry, then join.
std::string readBack(const std::vector<std::string>& records, Compression compression) {
    std::string flow;
    for (const std::string& record : records) {
        const std::size_t trailing = (static_cast<unsigned char>(record.back()) & 3) + 1;
        const std::string body = record.substr(0, record.size() - trailing);
        flow += compression == Compression::PalmDoc ? unpacked(body) : body;
    }
    return flow;
}

TEST(TextRecords, CharactersSplitAcross4096ByteRecordsAreCarriedInTheTrailingEntry) {
    // Three-byte characters after a one-byte offset: every boundary falls inside a character.
    const std::string flow = "<" + repeat(u8"中文字", 3000);
    for (Compression compression : {Compression::None, Compression::PalmDoc}) {
        const auto records = textRecords(flow, compression);
        ASSERT_EQ(records.size(), (flow.size() + 4095) / 4096);
        EXPECT_EQ(readBack(records, compression), flow);
        for (std::size_t i = 0; i + 1 < records.size(); ++i) {
            const std::size_t cut = (3 - (4096 * (i + 1) - 1) % 3) % 3;
            ASSERT_EQ(static_cast<std::size_t>(records[i].back()), cut) << "record " << i;
            EXPECT_EQ(records[i].substr(records[i].size() - 1 - cut, cut), flow.substr(4096 * (i + 1), cut));
        }
    }
    // Every boundary here falls after the first byte of a four-byte character.
    EXPECT_EQ(textRecords("<<<" + repeat(u8"\U0001F600", 2100), Compression::None)[0].back(), 3);
    EXPECT_EQ(readBack(textRecords("", Compression::PalmDoc), Compression::PalmDoc), "");
    EXPECT_EQ(textRecords(std::string(8192, 'z'), Compression::PalmDoc).size(), 2u);
}

}  // namespace
