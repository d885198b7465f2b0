#pragma once

// libmobi in process: the strict reader that judges the writer's files.

#include <mobi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace test_support {

struct MobiDataFree {
    void operator()(MOBIData* m) const { mobi_free(m); }
};
struct MobiRawmlFree {
    void operator()(MOBIRawml* r) const { mobi_free_rawml(r); }
};
using MobiData = std::unique_ptr<MOBIData, MobiDataFree>;
using MobiRawml = std::unique_ptr<MOBIRawml, MobiRawmlFree>;

// A written file, read by libmobi from memory; `kf8` false reads the MOBI 6 part of a joint file.
inline MobiData loadMobi(const std::string& file, bool kf8 = true) {
    MobiData m(mobi_init());
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(
        fmemopen(const_cast<char*>(file.data()), file.size(), "rb"), std::fclose);
    if (!m || !stream) return nullptr;
    m->use_kf8 = kf8;
    if (mobi_load_file(m.get(), stream.get()) != MOBI_SUCCESS) return nullptr;
    return m;
}

// The parsed text, indexes and resources of the part `m` is set to; null when libmobi refuses.
inline MobiRawml parseRawml(const MOBIData* m) {
    MobiRawml rawml(mobi_init_rawml(m));
    if (!rawml || mobi_parse_rawml(rawml.get(), m) != MOBI_SUCCESS) return nullptr;
    return rawml;
}

inline std::string partText(const MOBIPart* part) {
    return part ? std::string(reinterpret_cast<const char*>(part->data), part->size) : std::string();
}

inline std::vector<const MOBIPart*> partList(const MOBIPart* part) {
    std::vector<const MOBIPart*> parts;
    for (; part; part = part->next) parts.push_back(part);
    return parts;
}

inline std::string exthString(const MOBIData* m, MOBIExthTag tag) {
    const MOBIExthHeader* exth = mobi_get_exthrecord_by_tag(m, tag);
    return exth ? std::string(static_cast<const char*>(exth->data), exth->size) : std::string("(none)");
}

// The value of a tag, or -1 when the entry lacks it.
inline long long tagValue(const MOBIIndexEntry& entry, std::size_t id, std::size_t at = 0) {
    for (const MOBIIndexTag* tag = entry.tags; tag < entry.tags + entry.tags_count; ++tag)
        if (tag->tagid == id) return at < tag->tagvalues_count ? static_cast<long long>(tag->tagvalues[at]) : -1;
    return -1;
}

// A string of an index's CNCX: a forward varint length, then the bytes.
inline std::string cncxString(const MOBIIndx* index, std::uint32_t offset) {
    const MOBIPdbRecord* record = index->cncx_record;
    for (std::uint32_t n = offset >> 16; n > 0 && record; --n) record = record->next;
    std::size_t at = offset & 0xFFFF;
    if (!record || at >= record->size) return "(bad CNCX offset)";
    std::size_t length = 0;
    for (; at < record->size; ++at) {
        length = (length << 7) | (record->data[at] & 0x7F);
        if (record->data[at] & 0x80) break;
    }
    ++at;
    return std::string(reinterpret_cast<const char*>(record->data) + at, std::min(length, record->size - at));
}

}  // namespace test_support
