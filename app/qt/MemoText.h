// The memo's lines as it shows them: one line for each line at its width (a long line wraps
// into several), each character one byte of the host's 8-bit character set.
#pragma once

#include <string>

#include <QStringView>

#include "protocol/Commands.h"

class QPlainTextEdit;

namespace prax::app::qt {

// The memo's visual lines, for SendLines. The count is cheap to ask again before every line:
// the lines are worked out afresh only when the text or the wrapping width has changed.
protocol::LineSource MemoLines(QPlainTextEdit& memo);

// One byte per character, a character the character set lacks sent as '?'. The host's
// character set is the locale's when that is a single-byte one other than plain ASCII;
// otherwise (UTF-8 and other multi-byte locales, or plain ASCII) it is Windows-1252, the code
// page the printers' own texts are written in.
std::string HostTextBytes(QStringView text);
std::string Windows1252Bytes(QStringView text);

}  // namespace prax::app::qt
