#include <gtest/gtest.h>

#include "core/store/echo_text.h"
#include "core/store/sjis_text.h"
#include "core/store/text_encoding.h"

using namespace quarlink;

TEST(Encoding, ConvertsJapaneseBothWays) {
    // "東証" in CP932 and EUC-JP.
    const std::string utf8 = "\xE6\x9D\xB1\xE8\xA8\xBC";
    EXPECT_EQ(utf8ToCp932(utf8), "\x93\x8C\x8F\xD8");
    EXPECT_EQ(cp932ToUtf8("\x93\x8C\x8F\xD8"), utf8);
    EXPECT_EQ(utf8ToEucJp(utf8), "\xC5\xEC\xBE\xDA");
    EXPECT_EQ(eucJpToUtf8("\xC5\xEC\xBE\xDA"), utf8);
    // Backslash stays a backslash in CP932 (not the yen sign).
    EXPECT_EQ(cp932ToUtf8("C:\\x"), "C:\\x");
    // NEC row 13 converts for display.
    EXPECT_EQ(cp932ToUtf8("\x87\x40"), "\xE2\x91\xA0");
}

TEST(Encoding, MarkersOfThePagesAreTheirEucJpBytes) {
    EXPECT_EQ(utf8ToEucJp("現在の日時："), "\xB8\xBD\xBA\xDF\xA4\xCE\xC6\xFC\xBB\xFE\xA1\xA7");
    EXPECT_EQ(utf8ToEucJp("出来高"), "\xBD\xD0\xCD\xE8\xB9\xE2");
}

TEST(Encoding, InvalidBytesAreReplacedNotDropped) {
    EXPECT_EQ(cp932ToUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(cp932ToUtf8("a\x83"), "a\xEF\xBF\xBD");  // truncated double-byte character
    EXPECT_EQ(eucJpToUtf8(std::string("x\0y", 3)), std::string("x\0y", 3));
    // A character without a CP932 form is one "?", whatever its UTF-8 length.
    EXPECT_EQ(utf8ToCp932("\xF0\xA0\xAE\xB7" "a\xC3\xA9" "b\xEF\xBD\xB1"), "?a?b\xB1");
}

TEST(SjisText, FindStepsOverDoubleByteCharacters) {
    // "ソ" is 0x83 0x5C: its trail byte is a backslash.
    const std::string so = "\x83\x5C";
    EXPECT_EQ(sjisFind(so + "\\", "\\"), 2u);
    EXPECT_EQ(sjisFind(so, "\\"), std::string::npos);
    // 0x83 0x41 ("ア") must not match "A" at its trail byte.
    EXPECT_EQ(sjisFind("\x83\x41", "A"), std::string::npos);
    EXPECT_EQ(sjisFind("xx\x83\x41", "\x83\x41"), 2u);
    EXPECT_EQ(sjisFind("abc", ""), 0u);
    EXPECT_EQ(sjisFind("ab", "abc"), std::string::npos);
}

TEST(SjisText, TrimKeepsDoubleByteCharacters) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"  abc \t\r\n", "abc"},
        {"\x81\x40", "\x81\x40"},  // full-width space is a character, not a blank
        {" \x83\x5C ", "\x83\x5C"},
        {"\x83\x20", "\x83\x20"},  // a lead byte takes the blank as its trail byte
        {"", ""},
        {" \v\f ", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(sjisTrim(c.in), c.out) << c.in;
    EXPECT_EQ(trimBlanks(" /a/\xE3\x81\x82 "), "/a/\xE3\x81\x82");
}

TEST(EchoText, EscapesControlsAndCutsLongText) {
    struct Case {
        std::string in;
        std::size_t limit;
        std::string out;
    };
    const Case cases[] = {
        {"Date,Open", 80, "Date,Open"},
        {"\x1b[31mred\x1b[0m", 80, "\\x1b[31mred\\x1b[0m"},
        {"a\nb\r\tc\x7f", 80, "a\\nb\\r\\tc\\x7f"},
        {"日付", 80, "日付"},
        {"\xe6\x97", 80, "\\xe6\\x97"},          // a character cut short
        {"\xc2\x9b" "2J", 80, "\\xc2\\x9b2J"},   // C1 control sequence introducer
        {std::string(500, 'x'), 10, std::string(10, 'x') + "…"},
        {"日付日付", 7, "日付…"},                  // never half a character
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in.substr(0, 20));
        EXPECT_EQ(echoText(c.in, c.limit), c.out);
    }
}
