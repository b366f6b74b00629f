// Shared by the IPTC tests: Photoshop resource blocks and IIM datasets built
// byte by byte, a metadata list that frees itself, and fixture paths.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imagelib/bitmap.h"
#include "imagelib/metadata.h"
#include "processing/iptc.h"
#include "tests/support/bytes.h"
#include "tests/support/testfiles.h"

namespace iptctest {

using Bytes = std::vector<uint8_t>;

inline void Dataset(Bytes& b, uint8_t record, uint8_t dataset, const std::string& text) {
    b.insert(b.end(), {0x1C, record, dataset});
    testing_support::AppendBe16(b, uint32_t(text.size()));
    b.insert(b.end(), text.begin(), text.end());
}

// A Photoshop resource: "8BIM", id, name padded to even, 32-bit size, data
// padded to even.
inline void Resource(Bytes& b, uint16_t id, const std::string& name, const Bytes& data) {
    b.insert(b.end(), {'8', 'B', 'I', 'M'});
    testing_support::AppendBe16(b, id);
    b.push_back(uint8_t(name.size()));
    b.insert(b.end(), name.begin(), name.end());
    if ((name.size() + 1) & 1) b.push_back(0);
    testing_support::AppendBe32(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1) b.push_back(0);
}

inline Bytes PhotoshopHeader() {
    const char header[] = "Photoshop 3.0";
    return Bytes(header, header + sizeof header);  // with its zero
}

// An APP13 payload holding one IPTC resource.
inline Bytes IptcBlock(const Bytes& iim, const std::string& name = "") {
    Bytes b = PhotoshopHeader();
    Resource(b, 0x0404, name, iim);
    return b;
}

// A metadata list that frees itself. Add puts the node in front.
struct MetadataList {
    MetadataBlock* head = nullptr;
    MetadataList() = default;
    MetadataList(const MetadataList&) = delete;
    MetadataList& operator=(const MetadataList&) = delete;
    ~MetadataList() { FreeMetadataList(&head); }
    void Add(uint32_t kind, const Bytes& data) {
        ASSERT_EQ(AddMetadataBlockToList(&head, kind, data.data(), uint32_t(data.size())), 1);
    }
};

// An IptcRecord freed on the way out.
struct Record {
    IptcRecord r{};
    Record() = default;
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    ~Record() { IptcFree(&r); }
    IptcRecord* operator->() { return &r; }
    IptcRecord* get() { return &r; }
    std::string Slot(int d) const {
        return r.slots[d].text ? std::string(r.slots[d].text, r.slots[d].length) : "<none>";
    }
    std::vector<std::string> List(int i) const {
        return std::vector<std::string>(r.lists[i].items, r.lists[i].items + r.lists[i].count);
    }
};

// (dataset, name, text) as IptcEnumDatasets hands them on.
struct Listed {
    int dataset;
    std::string name;
    std::string text;
    bool operator==(const Listed& o) const { return dataset == o.dataset && name == o.name && text == o.text; }
};

inline std::vector<Listed> Enumerate(const MetadataBlock* list) {
    std::vector<Listed> out;
    IptcEnumDatasets(list,
                     [](void* ctx, int d, const char* name, const char* text) {
                         static_cast<std::vector<Listed>*>(ctx)->push_back({d, name, text});
                     },
                     &out);
    return out;
}

inline void PrintTo(const Listed& l, std::ostream* os) { *os << l.dataset << " " << l.name << "=" << l.text; }

inline std::wstring Fixture(const std::string& name) {
    return testing_support::FixtureFile(PV_METADATA_FIXTURES, name);
}

}  // namespace iptctest
