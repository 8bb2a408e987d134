// File names in the report: whatever bytes they hold, the report stays valid JSON and keeps
// enough to recover them.
#include "json_report.h"

#include <gtest/gtest.h>

namespace {

// Expected escapes worked out by hand from RFC 8259 and the UTF-8 well-formedness table.
TEST(JsonString, EscapesWhatJsonForbidsAndMarksBytesThatAreNotUtf8) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"shot.0001.png", R"("shot.0001.png")"},
        {"a\"b\\c/d", R"("a\"b\\c/d")"},
        {"line\nfeed\ttab\rret", R"("line\nfeed\ttab\rret")"},
        {std::string("nul\0\x01\x1f\x7f", 7), R"("nul\u0000\u0001\u001f\u007f")"},
        // Valid UTF-8 of two, three and four bytes passes through.
        {"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x8e\xac",
         "\"caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x8e\xac\""},
        // Latin-1, a stray continuation byte, 0xff.
        {"caf\xe9.png", R"("caf\udce9.png")"},
        {"\x80x\xff", R"("\udc80x\udcff")"},
        // Overlong '/', an encoded surrogate, a code point above U+10FFFF.
        {"\xc0\xaf", R"("\udcc0\udcaf")"},
        {"\xed\xa0\x80", R"("\udced\udca0\udc80")"},
        {"\xf4\x90\x80\x80", R"("\udcf4\udc90\udc80\udc80")"},
        // A sequence cut short by the end of the name or by an ASCII byte.
        {"\xe6\x97", R"("\udce6\udc97")"},
        {"\xe6x", R"("\udce6x")"},
    };
    for (const auto& [bytes, expected] : cases)
        EXPECT_EQ(jsonString(bytes), expected) << expected;
}

} // namespace
