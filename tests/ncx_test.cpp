// A web novel's contents, 30 volumes of 100 chapters with long titles, read back by libmobi
// from both parts of a joint file: every entry with its title, depth, parent and children,
// and every record under 64 KB although the titles are several times that.
#include "libmobi_support.h"
#include "mobigen/book/book_readers.h"
#include "mobigen/kf8/writer.h"
#include "mobigen/records/index_tags.h"

#include <gtest/gtest.h>

namespace {

using namespace test_support;
namespace tag = mobigen::index_tag::ncx;

constexpr int kVolumes = 30, kChapters = 100;

std::string longTitle(const char* kind, int number) {
    std::string title = u8"第" + std::to_string(number) + kind;
    for (int i = 0; i < 40; ++i) title += i % 2 ? u8"山" : u8"河";
    return title + std::to_string(number);
}

TEST(Ncx, ThousandsOfNestedEntriesSplitIntoRecordsAndReadBackInBothParts) {
    std::string page = "<html><head><title>web</title></head><body>";
    std::vector<std::string> expected;  // level by level: the volumes, then every chapter
    std::string paragraph;              // long enough for positions past 2 MB, which take four bytes each
    for (int i = 0; i < 240; ++i) paragraph += u8"文";
    for (int v = 1; v <= kVolumes; ++v) expected.push_back(longTitle(u8"卷", v));
    for (int v = 1; v <= kVolumes; ++v) {
        page += "<h1>" + expected[static_cast<std::size_t>(v - 1)] + "</h1>";
        for (int c = 1; c <= kChapters; ++c) {
            expected.push_back(longTitle(u8"章", (v - 1) * kChapters + c));
            page += "<h2>" + expected.back() + "</h2><p>" + paragraph + "</p>";
        }
    }
    mobigen::Diagnostics diagnostics;
    const std::string file = mobigen::writeBook(mobigen::readHtmlBook(page + "</body></html>", "", diagnostics),
                                                mobigen::Compression::PalmDoc, mobigen::OutputKind::Joint, diagnostics);

    for (const bool kf8 : {true, false}) {
        SCOPED_TRACE(kf8 ? "KF8" : "MOBI 6");
        const MobiData m = loadMobi(file, kf8);
        ASSERT_TRUE(m);
        for (const MOBIPdbRecord* r = m->rec; r; r = r->next) EXPECT_LT(r->size, 0x10000u);
        const MobiRawml rawml = parseRawml(m.get());
        ASSERT_TRUE(rawml && rawml->ncx);
        const MOBIIndx* ncx = rawml->ncx;
        EXPECT_GT(ncx->cncx_records_count, 4u);
        if (kf8) {  // the MOBI 6 entries are smaller and fit one record; mobi_writer_test splits them
            const MOBIPdbRecord* meta =
                mobi_get_record_by_seqnumber(m.get(), mobi_get_kf8offset(m.get()) + *m->mh->ncx_index);
            ASSERT_TRUE(meta && meta->size > 28);
            EXPECT_GT(meta->data[27], 1) << "data records";  // the low byte of their count
        }
        ASSERT_EQ(ncx->entries_count, expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const MOBIIndexEntry& entry = ncx->entries[i];
            const bool volume = i < kVolumes;
            const long long parent = volume ? -1 : static_cast<long long>(i - kVolumes) / kChapters;
            const long long firstChild = volume ? kVolumes + static_cast<long long>(i) * kChapters : -1;
            ASSERT_EQ(cncxString(ncx, static_cast<std::uint32_t>(tagValue(entry, tag::kTitle))), expected[i]);
            ASSERT_EQ(tagValue(entry, tag::kDepth), volume ? 0 : 1) << expected[i];
            ASSERT_EQ(tagValue(entry, tag::kParent), parent) << expected[i];
            ASSERT_EQ(tagValue(entry, tag::kFirstChild), firstChild) << expected[i];
            ASSERT_EQ(tagValue(entry, tag::kLastChild), volume ? firstChild + kChapters - 1 : -1) << expected[i];
        }
    }
}

}  // namespace
