#include "platform/CodePages.h"

#include "platform/win32/WindowsApi.h"

namespace prax::platform {

bool HostHasOwnSingleByteSet() {
    CPINFO info{};
    return GetACP() != 20127 && GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
}

char HostSetByte(char32_t c) {
    wchar_t units[2];
    int count = 1;
    if (c > 0xFFFF) {
        units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        count = 2;
    } else {
        units[0] = static_cast<wchar_t>(c);
    }
    char out[8];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, count, out, sizeof out,
                                      "?", &usedDefault);
    return n == 1 && !usedDefault ? out[0] : '?';
}

}  // namespace prax::platform
