// The host's own character set, as text to a printer takes it one byte per character.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "platform/CodePages.h"

using namespace prax::platform;

namespace {

struct Case {
    char32_t c;
    char byte;
};

}  // namespace

#if defined(_WIN32)
// A character the code page lacks goes as '?', never as a look-alike (best fit would send 'A'
// for 'Ā'), and one outside the 16-bit plane is no two bytes.
TEST(CodePages, TheSystemCodePageByteOrAQuestionMark) {
    if (GetACP() != 1252) GTEST_SKIP() << "the system code page is " << GetACP() << ", not 1252";
    EXPECT_TRUE(HostHasOwnSingleByteSet());
    for (const Case& c : {Case{U'A', 'A'}, Case{U'\u00FC', '\xFC'}, Case{U'\u20AC', '\x80'},
                          Case{U'\u0100', '?'}, Case{U'\u4E2D', '?'}, Case{U'\U0001F600', '?'}}) {
        EXPECT_EQ(HostSetByte(c.c), c.byte) << static_cast<unsigned>(c.c);
    }
}
#else
// Neither plain ASCII nor a set of several bytes a character is one to send text in; in the C
// locale a character outside ASCII has no byte.
TEST(CodePages, NoSetOfItsOwnInTheCLocaleNorInUtf8) {
    EXPECT_FALSE(HostHasOwnSingleByteSet());
    for (const Case& c : {Case{U'A', 'A'}, Case{U'~', '~'}, Case{U'\u20AC', '?'}, Case{U'\u4E2D', '?'}}) {
        EXPECT_EQ(HostSetByte(c.c), c.byte) << static_cast<unsigned>(c.c);
    }
    const std::string before = std::setlocale(LC_CTYPE, nullptr);
    if (std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr) {
        EXPECT_FALSE(HostHasOwnSingleByteSet());
    }
    std::setlocale(LC_CTYPE, before.c_str());
}
#endif
