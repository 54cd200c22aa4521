// The UDF encodings: descriptor CRC, CS0 d-strings, shortened identifiers,
// timestamps.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/builder/UDFTime.h"
#include "engine/builder/UDFUnicode.h"
#include "engine/builder/UDF_CRC.h"
#include "tests/support/UdfCheck.h"

using namespace tessor::builder::udf;
using tessor::testsupport::ReferenceUdfCrc;

TEST(UdfCrc, MatchesTheBitwiseDefinitionForEveryLengthAndStart) {
    // CRC-ITU-T with initial value 0 (the XMODEM parameters): check value.
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(UdfCrc(digits, sizeof digits), 0x31C3);

    std::mt19937 rng(7);
    std::vector<uint8_t> data(4096);
    for (auto& x : data)
        x = static_cast<uint8_t>(rng());
    for (size_t start = 0; start < 17; ++start)
        for (size_t len : {0, 1, 7, 15, 16, 17, 31, 33, 100, 496, 2032, 4000})
            ASSERT_EQ(UdfCrc(data.data() + start, len), ReferenceUdfCrc(data.data() + start, len))
                << "start " << start << " length " << len;
    // Continuing from a partial CRC gives the CRC of the whole.
    EXPECT_EQ(UdfCrc(data.data() + 100, 900, UdfCrc(data.data(), 100)), UdfCrc(data.data(), 1000));
}

TEST(UdfCrc, ZeroRunsEqualTheCrcOverZeroBytes) {
    std::vector<uint8_t> buf(70000, 0);
    buf[0] = 0x5A;
    buf[1] = 0xC3;
    const uint16_t head = UdfCrc(buf.data(), 2);
    for (size_t zeros : {0, 1, 2, 3, 255, 256, 1864, 1872, 2030, 65535, 69998})
        EXPECT_EQ(UdfCrcZeros(head, zeros), UdfCrc(buf.data(), 2 + zeros)) << zeros << " zeros";
    EXPECT_EQ(UdfCrcZeros(0, 12345), 0);
}

TEST(UdfDString, LengthByteAlwaysMatchesTheContent) {
    uint8_t field[32];
    // 15 CS0-16 characters fill 31 bytes of a 32-byte field.
    PutDString(field, 32, u"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");
    EXPECT_EQ(field[0], 16);
    EXPECT_EQ(field[31], 31);
    EXPECT_EQ(field[29], 0);  // 15th character, big-endian
    EXPECT_EQ(field[30], 'O');

    // A surrogate pair that would be split is left out whole.
    std::u16string label = u"ABCDEFGHIJKLMN";  // 14 units
    label += u"\xD83D\xDE00";                  // U+1F600 as units 15 and 16
    PutDString(field, 32, label);
    EXPECT_EQ(field[31], 29);
    EXPECT_EQ(field[29], 0);
    EXPECT_EQ(field[30], 0);

    uint8_t big[128];
    PutDString(big, 128, u"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234");
    EXPECT_EQ(big[127], 1 + 2 * 31);

    // OSTA UDF 2.1.3: an empty d-string is all zero, compression ID included.
    std::fill(std::begin(field), std::end(field), 0xEE);
    PutDString(field, 32, u"");
    for (uint8_t byte : field)
        EXPECT_EQ(byte, 0);
}

TEST(UdfNames, LongNamesAreCutToWholeCharactersKeepingTheExtension) {
    const std::u16string stem(200, u'x');
    const std::u16string cut = ShortenUdfName(stem + u".txt", 0);
    EXPECT_EQ(cut.size(), kMaxIdentifierUnits);
    EXPECT_EQ(cut.substr(cut.size() - 4), u".txt");

    const std::u16string second = ShortenUdfName(stem + u".txt", 12);
    EXPECT_EQ(second.size(), kMaxIdentifierUnits);
    EXPECT_EQ(second.substr(second.size() - 7), u"~12.txt");

    // An "extension" too long to be one is cut like the rest.
    const std::u16string dotted = u"a." + std::u16string(150, u'y');
    EXPECT_EQ(ShortenUdfName(dotted, 0), dotted.substr(0, kMaxIdentifierUnits));

    // No half of a surrogate pair at the cut.
    std::u16string pairs;
    for (int i = 0; i < 100; ++i)
        pairs += u"\xD83D\xDE00";
    const std::u16string cutPairs = ShortenUdfName(pairs, 0);
    EXPECT_EQ(cutPairs.size(), 126u);
    EXPECT_EQ(cutPairs.back(), u'\xDE00');

    // Short names are left alone.
    EXPECT_EQ(ShortenUdfName(u"short.txt", 0), u"short.txt");
}

TEST(UdfTime, TimestampIsUtcWithWholeSeconds) {
    tessor::platform::TSystemTime t;
    t.wYear = 2024;
    t.wMonth = 2;
    t.wDay = 29;
    t.wHour = 23;
    t.wMinute = 59;
    t.wSecond = 58;
    t.wMilliseconds = 999;
    uint8_t ts[12];
    PutUdfTimestamp(ts, t);
    const uint8_t expected[12] = {0x00, 0x10, 0xE8, 0x07, 2, 29, 23, 59, 58, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(ts, ts + 12), std::vector<uint8_t>(expected, expected + 12));

    const auto now = UdfCurrentTime();
    EXPECT_GE(now.wYear, 2024);
    EXPECT_GE(now.wMonth, 1);
    EXPECT_LE(now.wMonth, 12);
    EXPECT_LE(now.wHour, 23);
    EXPECT_EQ(now.wMilliseconds, 0);
}
