// Reading language files: lines, sections, escapes, errors and encodings.
#include <gtest/gtest.h>

#include "engine/platform/Strings.h"
#include "lang/LangError.h"
#include "lang/LangFile.h"
#include "tests/lang/FakeWindow.h"

namespace tessor::lang::test {
namespace {

std::u16string ConstantOf(const TLangTranslation& t, std::string_view name) {
    const TLangConstant* c = t.Constants.Find(name);
    return c ? c->Value : u"<missing>";
}

TEST(LangFile, ConstantValues) {
    struct TCase {
        const char16_t* line;
        const char* name;
        const char16_t* value;
    } cases[] = {
        {u"  MB1   =   MB /   ", "MB1", u"MB /"},
        {u"\tS_IDLE=LEERLAUF\t", "s_idle", u"LEERLAUF"},
        {u"A=two\\nlines", "A", u"two\r\nlines"},
        {u"A=\\65\\66", "A", u"AB"},
        {u"A=tab\\there", "A", u"tab\there"},
        {u"A=back\\\\slash\\\\n", "A", u"back\\slash\\n"},
        {u"A=\\q \\6 end\\", "A", u"\\q \\6 end\\"},
        {u"A=\\100", "A", u"\n0"},
        {u"A=x=y", "A", u"x=y"},
        {u"A=", "A", u""},
        {u"_Under_9=u", "_Under_9", u"u"},
    };
    for (const TCase& c : cases) {
        std::u16string text = u"[$CONSTANTS]\r\n" + std::u16string(c.line) + u"\r\n";
        TLangTranslation t = ParseLanguageFile(Utf16File(text));
        EXPECT_EQ(ConstantOf(t, c.name), std::u16string(c.value)) << platform::ToSystem(c.line);
    }
    // "\00" yields a NUL character, which a C string cannot show.
    TLangTranslation nul = ParseLanguageFile(Utf16File(u"[$CONSTANTS]\nA=\\00x"));
    EXPECT_EQ(ConstantOf(nul, "A"), std::u16string(u"\0x", 2));
}

TEST(LangFile, FailuresNameTheLineCountedFromZero) {
    struct TCase {
        const char16_t* text;
        std::string message;
    } cases[] = {
        {u"; c\r\nLANGID=1031\r\n[$CONSTANTS]\r\n1ABC=x\r\n",
         "Loading translations failed.\r\nLine 3: Invalid constant name (\"1ABC\")"},
        {u"[$CONSTANTS]\nMY-NAME=x",
         "Loading translations failed.\r\nLine 1: "
         "Invalid constant name (\"MY-NAME\")"},
        {u"[$constants]\nOKWRITE=a\n\nokwrite=b",
         "Loading translations failed.\r\nLine 3: Duplicate constant name (\"okwrite\")"},
        {u"[Form1]\n00000024=a\n[Other]\n24=x\n[FORM1]\n24=b",
         "Loading translations failed.\r\nLine 5: Duplicate property value translation ID (24)"},
    };
    for (const TCase& c : cases) {
        try {
            ParseLanguageFile(Utf16File(c.text));
            ADD_FAILURE() << "no error for " << platform::ToSystem(c.text);
        } catch (const ELangError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
    }
}

TEST(LangFile, SectionsParametersAndIgnoredLines) {
    TLangTranslation t =
        ParseLanguageFile(Utf16File(u"Author=Someone\r\n"
                                    u"LANGID = 1031\r\n"
                                    u"no equals sign\r\n"
                                    u"[ form1 ]\r\n"
                                    u"00000024=Cache Nutzung\r\n"
                                    u"abc=not a number\r\n"
                                    u"0=zero\r\n"
                                    u"-5=negative\r\n"
                                    u"99999999999=too large\r\n"
                                    u"=empty key\r\n"
                                    u"; 00000025=commented out\r\n"
                                    u"[]\r\n"
                                    u"[$CONSTANTS]\r\n"
                                    u"OKWRITE=ok\r\n"
                                    u"[Form1]\r\n"
                                    u"26=Brennen\r\n"));
    ASSERT_EQ(t.Params.size(), 2u);
    EXPECT_EQ(t.Params[1].Name, u"LANGID");
    EXPECT_EQ(t.Params[1].Value, u"1031");
    ASSERT_EQ(t.Sections.size(), 1u) << "a repeated section adds to the first";
    const TLangSectionTranslation* form = t.FindSection(u"FORM1");
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->Count(), 2u);
    EXPECT_EQ(*form->Find(24), u"Cache Nutzung");
    EXPECT_EQ(*form->Find(26), u"Brennen");
    EXPECT_EQ(form->Find(25), nullptr);
    EXPECT_EQ(t.Constants.Count(), 1u);
}

// Without the byte-order mark the file is 8-bit text in the code page of its
// LANGID: the same bytes read differently for Romanian and German.
TEST(LangFile, EightBitFilesUseTheCodePageOfTheirLanguage) {
    const std::string body = "[$CONSTANTS]\r\nS_ERASING=\xAA TERGEREA\r\nX=\xBA \xFE \xE3\r\n";
    struct TCase {
        std::string header;
        const char16_t* erasing;
        const char16_t* x;
    } cases[] = {
        {"LANGID=1048\r\n", u"Ş TERGEREA", u"ş ţ ă"},
        {"langid = 1031\r\n", u"ª TERGEREA", u"º þ ã"},
        {"", u"ª TERGEREA", u"º þ ã"},
    };
    for (const TCase& c : cases) {
        TLangTranslation t = ParseLanguageFile(Bytes(c.header + body));
        EXPECT_EQ(ConstantOf(t, "S_ERASING"), c.erasing) << c.header;
        EXPECT_EQ(ConstantOf(t, "X"), c.x) << c.header;
    }
    EXPECT_EQ(AnsiCodePageOf(1033), 1252u);
    EXPECT_EQ(AnsiCodePageOf(1031), 1252u);
    EXPECT_EQ(AnsiCodePageOf(1048), 1250u);
    EXPECT_EQ(AnsiCodePageOf(1049), 1251u);
}

TEST(LangFile, LineEndsAndOddLengths) {
    // CR alone, LF alone and CR LF all end a line; a stray last byte of a
    // UTF-16 file is dropped.
    std::vector<uint8_t> bytes = Utf16File(u"[$CONSTANTS]\rA=1\nB=2\r\nC=3");
    bytes.push_back('x');
    TLangTranslation t = ParseLanguageFile(bytes);
    EXPECT_EQ(ConstantOf(t, "A"), u"1");
    EXPECT_EQ(ConstantOf(t, "B"), u"2");
    EXPECT_EQ(ConstantOf(t, "C"), u"3");
    EXPECT_EQ(ParseLanguageFile(Utf16File(u"")).Constants.Count(), 0u);
}

}  // namespace
}  // namespace tessor::lang::test
