// Text that goes to the printer as one byte per character: the host's own single-byte set where
// it has one other than plain ASCII, otherwise Windows-1252, the code page the printers' own
// texts are written in; a character the set lacks goes as '?'.
#pragma once

#include <string>
#include <string_view>

namespace prax::protocol {

std::string HostTextBytes(std::u32string_view text);
std::string Windows1252Bytes(std::u32string_view text);
// The same for UTF-8 text (a file name, a font's name on this host). Text that is no valid
// UTF-8 is taken as bytes of the host's set already and stays as it is.
std::string HostTextBytesFromUtf8(std::string_view text);
// The length of the UTF-8 sequence starting at `text[i]` (its code point in `code`), 0 when it
// is no valid one: overlong, a surrogate, beyond U+10FFFF or cut short.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i, char32_t* code = nullptr);

}  // namespace prax::protocol
