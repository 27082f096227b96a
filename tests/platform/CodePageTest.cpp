#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "TestSupport.h"

TEST(CodePage, EveryByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    const std::string utf8 = zns::FromCp1252(all);
    EXPECT_EQ(zns::ToCp1252(utf8), all);
}

TEST(CodePage, KnownCharacters) {
    EXPECT_EQ(zns::FromCp1252("\x80"), "\xE2\x82\xAC");           // euro
    EXPECT_EQ(zns::FromCp1252("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");  // e acute
    EXPECT_EQ(zns::FromCp1252("\xB5s"), "\xC2\xB5s");              // micro sign
    EXPECT_EQ(zns::FromCp1252("\x93q\x94"), "\xE2\x80\x9Cq\xE2\x80\x9D");
    EXPECT_EQ(zns::ToCp1252("\xE2\x80\x94"), "\x97");              // em dash
    EXPECT_EQ(zns::ToCp1252("\xC5\xB8"), "\x9F");                  // Y diaeresis
}

TEST(CodePage, UnmappableAndMalformedBecomeQuestionMarks) {
    EXPECT_EQ(zns::ToCp1252("a\xE6\x97\xA5z"), "a?z");          // CJK character
    EXPECT_EQ(zns::ToCp1252("\xF0\x9F\x98\x80"), "?");          // emoji
    EXPECT_EQ(zns::ToCp1252("x\xC3"), "x?");                    // truncated sequence
    EXPECT_EQ(zns::ToCp1252("\xC0\xAF"), "?");                  // overlong '/'
    EXPECT_EQ(zns::ToCp1252("\xED\xA0\x80"), "?");              // surrogate
    EXPECT_EQ(zns::ToCp1252("\xA9\xFF"), "??");                 // stray continuation, invalid lead
    EXPECT_EQ(zns::ToCp1252("\xC3" "A"), "?A");                 // lead byte without continuation
}

TEST(CodePage, SystemErrorTextInTheUsersLocaleComesIn1252) {
    zns::test::CommaLocale german;  // makes de_DE.UTF-8 when it is not installed
    unsetenv("LANGUAGE");
    if (!german.Active() || !setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale";
    const std::string text = zns::SystemErrorText(ENOSPC);
    setlocale(LC_ALL, "C");
    EXPECT_NE(text.find("Ger\xE4t"), std::string::npos) << text;  // "Auf dem Gerät ist kein Speicherplatz ..."
}
