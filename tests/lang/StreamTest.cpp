// The binary streams: the constants resource and LangData. A forged or cut
// stream raises ELangError and never reads outside its bytes (the suite
// also runs under AddressSanitizer).
#include <gtest/gtest.h>

#include "lang/LangConstants.h"
#include "lang/LangData.h"
#include "lang/LangError.h"
#include "lang/ProgramLanguages.h"

namespace tessor::lang::test {
namespace {

std::vector<uint8_t> Resource(std::u16string_view name) {
    auto bytes = ProgramModule().Find(name);
    if (!bytes)
        return {};
    return std::vector<uint8_t>(bytes->begin(), bytes->end());
}

TEST(LangStreams, ConstantsRoundTripAndVersion) {
    std::vector<TConstantSource> source = {{"ZZ", u"last"}, {"aa", u"first \u015F"}, {"E", u""}};
    std::vector<uint8_t> bytes = WriteConstantsStream(source);
    bytes.push_back(0x55);  // bytes after the last entry are ignored
    TLangConstants read;
    ReadConstantsStream(bytes, read);
    ASSERT_EQ(read.Count(), 3u);
    EXPECT_EQ(read.At(0).Name, "aa") << "kept sorted without regard to case";
    EXPECT_EQ(read.Find("AA")->Default, u"first \u015F");
    EXPECT_EQ(read.Find("zz")->Value, u"last");

    bytes[0] = 3;
    try {
        ReadConstantsStream(bytes, read);
        ADD_FAILURE() << "version 3 accepted";
    } catch (const ELangError& e) {
        EXPECT_STREQ(e.what(), "Stream version (3) is greater than the current one (2)");
    }
    EXPECT_EQ(read.Count(), 3u) << "a refused stream changes nothing";
}

// Every cut of the real resources, and counts far beyond the bytes.
TEST(LangStreams, TruncatedAndForgedStreamsAreRefused) {
    struct TCase {
        const char* what;
        std::vector<uint8_t> bytes;
        void (*read)(std::span<const uint8_t>);
    } streams[] = {
        {"constants", Resource(u"XELANG_CONSTS"),
         [](std::span<const uint8_t> b) {
             TLangConstants c;
             ReadConstantsStream(b, c);
         }},
        {"LangData", Resource(u"TFORM1_LANGDATA"),
         [](std::span<const uint8_t> b) { ReadLangData(b); }},
        {"IgnoreList", Resource(u"TFORM1_IGNORELIST"),
         [](std::span<const uint8_t> b) { ReadLangStrings(b); }},
    };
    for (const TCase& s : streams) {
        ASSERT_FALSE(s.bytes.empty()) << s.what;
        EXPECT_NO_THROW(s.read(s.bytes)) << s.what;
        for (size_t cut = 0; cut < s.bytes.size(); ++cut) {
            // A copy of exactly `cut` bytes, so ASan sees any read beyond.
            std::vector<uint8_t> part(s.bytes.begin(), s.bytes.begin() + cut);
            EXPECT_THROW(s.read(part), ELangError) << s.what << " cut at " << cut;
        }
    }
    const std::vector<uint8_t> forged[] = {
        {2, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0},          // constants: 4 billion entries
        {2, 1, 1, 0, 0, 0, 0xFF, 0xFF, 'A', 'B', 'C', 'D'},  // name length beyond the end
        {2, 1, 1, 0, 0, 0, 1, 0, 'A', 0xFF, 0xFF, 'x', 0},   // text length beyond the end
    };
    for (const auto& bytes : forged) {
        TLangConstants c;
        EXPECT_THROW(ReadConstantsStream(bytes, c), ELangError);
    }
    // LangData: a root with 4 billion properties, then 4 billion children.
    EXPECT_THROW(ReadLangData(std::vector<uint8_t>{0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0}),
                 ELangError);
    EXPECT_THROW(ReadLangData(std::vector<uint8_t>{0, 0, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF}),
                 ELangError);
}

TEST(LangStreams, LangDataRoundTripAndDepthLimit) {
    TLangCompEntry root{"Form1", nullptr, std::nullopt, std::nullopt};
    root.Children.emplace();
    root.Children->push_back({"Label2", nullptr, std::nullopt, std::nullopt});
    root.Children->back().AddProp({24, "Caption", {}});
    root.Children->back().AddProp({7, "Hint", {}});
    root.Children->back().AddProp({8, "caption", {}});  // same path: not added
    TLangCompEntry back = ReadLangData(WriteLangData(root));
    ASSERT_TRUE(back.Children);
    ASSERT_EQ(back.Children->size(), 1u);
    TLangCompEntry& label = back.Children->front();
    ASSERT_EQ(label.Props->size(), 2u);
    EXPECT_EQ(label.FindProp("CAPTION")->ID, 24);
    EXPECT_EQ(label.Props->front().Path, "Caption") << "sorted by path";
    EXPECT_FALSE(back.Props) << "no property flag: no list";

    // One child inside the other, deeper than any window nests.
    TLangCompEntry deep{"x", nullptr, std::nullopt, std::nullopt};
    for (int i = 0; i < kMaxLangDataDepth + 1; ++i) {
        TLangCompEntry parent{"x", nullptr, std::nullopt, std::nullopt};
        parent.Children.emplace().push_back(std::move(deep));
        deep = std::move(parent);
    }
    EXPECT_THROW(ReadLangData(WriteLangData(deep)), ELangError);
}

}  // namespace
}  // namespace tessor::lang::test
