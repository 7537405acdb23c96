// The text part's form: ASCII as it is, other text labelled and quoted.
#include "submit/body_text.h"

#include <gtest/gtest.h>

using namespace lsmtp;

TEST(BodyText, AsciiStaysNonAsciiIsLabelledAndQuoted)
{
    const BodyText ascii = prepare_body("plain text\r\n");
    EXPECT_FALSE(ascii.quoted);
    EXPECT_EQ(ascii.charset, "");

    const BodyText german = prepare_body("sch\xC3\xB6ne Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(german.charset, "UTF-8");
    EXPECT_TRUE(german.quoted);
    EXPECT_EQ(prepare_body("\x93quoted\x94").charset, "windows-1252");
}
