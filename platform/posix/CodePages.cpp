#include "platform/CodePages.h"

#include <langinfo.h>

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <initializer_list>

namespace prax::platform {

bool HostHasOwnSingleByteSet() {
#if defined(__STDC_ISO_10646__)
    if (MB_CUR_MAX != 1) return false;
    const char* codeset = nl_langinfo(CODESET);
    if (codeset == nullptr || *codeset == '\0') return false;
    for (const char* ascii : {"ANSI_X3.4-1968", "ASCII", "US-ASCII", "646"}) {
        if (std::strcmp(codeset, ascii) == 0) return false;
    }
    return true;
#else
    return false;  // no way to hand the C library a character by its code point
#endif
}

char HostSetByte(char32_t c) {
    char out[MB_LEN_MAX];
    std::mbstate_t state{};
    const std::size_t n = std::wcrtomb(out, static_cast<wchar_t>(c), &state);
    return n == 1 ? out[0] : '?';
}

}  // namespace prax::platform
