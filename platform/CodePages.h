// The host's own character set, for text that goes to a printer one byte per character.
#pragma once

namespace prax::platform {

// Whether the host has a single-byte character set of its own, other than plain ASCII, to send
// text in (the system's code page on Windows, the locale's character set elsewhere).
bool HostHasOwnSingleByteSet();
// `c` in that set; '?' where the set has no such character, never a look-alike of it.
char HostSetByte(char32_t c);

// The names the host hands out (file names, font names) are UTF-8 here; on Windows they are in
// the system's code page already.
#if defined(_WIN32)
inline constexpr bool kHostNamesAreUtf8 = false;
#else
inline constexpr bool kHostNamesAreUtf8 = true;
#endif

}  // namespace prax::platform
