#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "ntfs/AttributeLookup.h"
#include "ntfs/AttributeTable.h"
#include "ntfs/NameCompare.h"
#include "ntfs/NtfsBuilder.h"

namespace rekkon {
namespace {

using test::Bytes;
using test::NonResident;

struct AttributeTableFixture : ::testing::Test {
    AttributeTableFixture() {
        file.volume = &volume;
        volume.bytesPerCluster = 512;
    }
    void add(const Bytes& attribute) { ASSERT_EQ(parseAttribute(file, attribute), 0); }
    Bytes fragment(std::uint64_t firstVcn, std::uint64_t lastVcn, std::int64_t lcn) {
        const NonResident s{firstVcn, lastVcn, 150 * 512, 150 * 512, 150 * 512, 0};
        return test::nonResidentAttribute(0x80, u"", s,
                                          test::mappingPairs({{lcn, lastVcn - firstVcn + 1}}));
    }
    std::vector<std::string> order() {
        finishAttributeTable(file);
        std::vector<std::string> out;
        for (const auto& d : file.attributes)
            out.push_back(std::to_string(d.typeCode) + ":" + d.nameUtf8());
        return out;
    }
    NtfsVolume volume;
    MftFile file;
};

TEST_F(AttributeTableFixture, SortsByTypeThenNameAndKeepsFileNamesApart) {
    add(test::residentAttribute(0x80, u"b", {1}));
    add(test::residentAttribute(0x30, u"", {1}));
    add(test::residentAttribute(0x10, u"", {}));
    add(test::residentAttribute(0x30, u"", {2}));
    add(fragment(0, 99, 1000));
    add(test::residentAttribute(0x80, u"C", {}));
    add(test::residentAttribute(0x80, u"a", {}));
    add(test::residentAttribute(0x30, u"", {3}));
    // The unnamed $DATA compares equal to every name over length 0, so it stays where it arrived.
    EXPECT_EQ(order(), (std::vector<std::string>{"16:", "48:", "48:", "48:", "128:a", "128:b",
                                                 "128:", "128:C"}));
    for (std::uint8_t i = 0; i < 3; ++i)
        EXPECT_EQ(file.attributes[1 + i].content, Bytes{std::uint8_t(i + 1)});
}

TEST_F(AttributeTableFixture, UnnamedArrivingFirstStaysFirst) {
    add(fragment(0, 99, 1000));
    add(test::residentAttribute(0x80, u"b", {}));
    EXPECT_EQ(order(), (std::vector<std::string>{"128:", "128:b"}));
}

TEST_F(AttributeTableFixture, FragmentsJoinOnlyWhereTheRunsEnd) {
    add(fragment(0, 99, 1000));
    add(fragment(90, 99, 5000));    // overlaps: refused
    add(fragment(120, 149, 7000));  // ahead of the runs: waits
    ASSERT_EQ(file.attributes.size(), 1u);
    EXPECT_EQ(file.attributes[0].runs, (std::vector<DataRun>{{1000, 100}}));
    add(fragment(100, 119, 3000));
    EXPECT_EQ(file.attributes[0].runs, (std::vector<DataRun>{{1000, 100}, {3000, 20}, {7000, 30}}));
    EXPECT_EQ(file.attributes[0].dataSize, 150u * 512);
}

// Each mutation makes one length or offset of an attribute reach outside it.
struct Damage {
    const char* what;
    bool nonResident;
    std::function<void(Bytes&)> apply;
};

std::string damageName(const ::testing::TestParamInfo<Damage>& param) {
    std::string name = param.param.what;
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

class AttributeDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(AttributeDamage, AttributeIsLeftOut) {
    const Damage& d = GetParam();
    Bytes a = d.nonResident
                  ? test::nonResidentAttribute(0x80, u"s", NonResident{0, 0, 512, 512, 512, 0},
                                               test::mappingPairs({{10, 1}}))
                  : test::residentAttribute(0x80, u"s", Bytes(20, 7));
    d.apply(a);
    NtfsVolume volume;
    MftFile file;
    file.volume = &volume;
    EXPECT_EQ(parseAttribute(file, a), -1) << d.what;
    EXPECT_TRUE(file.attributes.empty()) << d.what;
}

INSTANTIATE_TEST_SUITE_P(
    Attribute, AttributeDamage,
    ::testing::Values(
        Damage{"name offset", false, [](Bytes& a) { test::put16(a, 0x0A, 0xFFF0); }},
        Damage{"name length", false, [](Bytes& a) { a[0x09] = 200; }},
        Damage{"value offset", false, [](Bytes& a) { test::put16(a, 0x14, 0x30); }},
        Damage{"value length", false, [](Bytes& a) { test::put32(a, 0x10, 0xFFFFFFF0); }},
        Damage{"short header", false, [](Bytes& a) { a.resize(0x0C); }},
        Damage{"short resident header", false, [](Bytes& a) { a.resize(0x14); }},
        Damage{"short nonresident header", true, [](Bytes& a) { a.resize(0x38); }},
        Damage{"mapping pairs offset", true, [](Bytes& a) { test::put16(a, 0x20, 0x400); }}),
    damageName);

TEST(AttributeNames, FoldThroughTheUpcaseTable) {
    NtfsVolume v;
    const std::vector<std::uint16_t> upper{u'A', u'B', 0xC9}, lower{u'a', u'b', 0xE9};
    EXPECT_EQ(compareWideNames(v, upper, lower, 2), 0);
    EXPECT_EQ(compareWideNames(v, upper, lower, 3), -1);  // no table: only a..z fold
    // A table that folds a and é but not b: the table decides, not the a..z fallback.
    v.upcaseTable.assign(256, 0);
    for (std::uint16_t u = 0; u < 256; ++u)
        v.upcaseTable[u] = u;
    v.upcaseTable[u'a'] = u'A';
    v.upcaseTable[0xE9] = 0xC9;
    v.upcaseTableLength = 512;
    EXPECT_EQ(compareWideNames(v, upper, lower, 3), -1);
    v.upcaseTable[u'b'] = u'B';
    EXPECT_EQ(compareWideNames(v, upper, lower, 3), 0);
}

TEST_F(AttributeTableFixture, NamesBecomeUtf8Whole) {
    add(test::residentAttribute(0x80, u"\u00e9t\U0001F600", {}));
    add(test::residentAttribute(0x80, std::u16string(1, char16_t(0xD800)) + u"x", {}));
    EXPECT_EQ(file.attributes[0].nameUtf8(), "\xC3\xA9t\xF0\x9F\x98\x80");
    EXPECT_EQ(file.attributes[1].nameUtf8(), "\xEF\xBF\xBDx");
    EXPECT_EQ(findAttribute(file, 0x80, "\xC3\xA9T\xF0\x9F\x98\x80"), &file.attributes[0]);
}

TEST_F(AttributeTableFixture, FindAttributeMatchesWholeNamesWithoutCase) {
    add(test::residentAttribute(0x80, u"x", {}));
    add(test::residentAttribute(0x80, u"", {}));
    add(test::residentAttribute(0x80, u"xyz", {}));
    EXPECT_EQ(findAttribute(file, 0x80)->attributeName.size(), 0u);
    EXPECT_EQ(findAttribute(file, 0x80, "X")->nameUtf8(), "x");
    EXPECT_EQ(findAttribute(file, 0x80, "XYZ")->nameUtf8(), "xyz");
    EXPECT_EQ(findAttribute(file, 0x80, "xy"), nullptr);
    EXPECT_EQ(findAttribute(file, 0x90), nullptr);
}

TEST_F(AttributeTableFixture, FindAttributeStopsAtGreaterType) {
    add(test::residentAttribute(0x10, u"", {}));
    add(test::residentAttribute(0x80, u"", {}));
    add(test::residentAttribute(0x90, u"", {}));
    file.attributes.push_back(file.attributes[0]);
    file.attributes.back().typeCode = 0x30;  // out of order: never reached
    EXPECT_EQ(findAttribute(file, 0x30), nullptr);
    EXPECT_EQ(findAttribute(file, 0x90), &file.attributes[2]);
}

}  // namespace
}  // namespace rekkon
