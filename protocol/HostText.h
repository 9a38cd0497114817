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

}  // namespace prax::protocol
