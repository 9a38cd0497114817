#include "app/MemoText.h"

#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

#include <QCoreApplication>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#if defined(_WIN32)
#include <windows.h>
#else
#include <langinfo.h>
#endif

namespace prax::app {

namespace {

// Windows-1252 at 0x80 to 0x9F; 0 where the code page has no character.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char Windows1252Byte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == c) return static_cast<char>(0x80 + i);
    }
    return '?';
}

// True when the host has a single-byte character set of its own to send text in.
bool HostHasOwnSingleByteSet() {
#if defined(_WIN32)
    CPINFO info{};
    return GetACP() != 20127 && GetCPInfo(CP_ACP, &info) && info.MaxCharSize == 1;
#elif defined(__STDC_ISO_10646__)
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

char HostByte(char32_t c) {
#if defined(_WIN32)
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
#else
    char out[MB_LEN_MAX];
    std::mbstate_t state{};
    const std::size_t n = std::wcrtomb(out, static_cast<wchar_t>(c), &state);
    return n == 1 ? out[0] : '?';
#endif
}

// The memo's visual lines, worked out again only when its text or its width changed.
class MemoLineCache {
public:
    explicit MemoLineCache(QPlainTextEdit& memo) : memo_(memo) {
        edited_ = QObject::connect(memo.document(), &QTextDocument::contentsChanged,
                                   [this] { stale_ = true; });
    }
    ~MemoLineCache() { QObject::disconnect(edited_); }
    MemoLineCache(const MemoLineCache&) = delete;
    MemoLineCache& operator=(const MemoLineCache&) = delete;

    const QStringList& Lines() {
        QTextDocument* document = memo_.document();
        auto* layout = qobject_cast<QPlainTextDocumentLayout*>(document->documentLayout());
        // The memo wraps at its viewport's width.
        const int width = memo_.viewport()->width();
        if (!stale_ && width == width_) return lines_;
        stale_ = false;
        width_ = width;
        lines_.clear();
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
            const QString text = block.text();
            // Blocks are laid out when first painted; a memo off screen has to ask for it.
            if (layout != nullptr) layout->ensureBlockLayout(block);
            const QTextLayout* lineLayout = block.layout();
            const int count = lineLayout != nullptr ? lineLayout->lineCount() : 0;
            if (count == 0) {
                lines_ << text;
                continue;
            }
            for (int i = 0; i < count; ++i) {
                const QTextLine line = lineLayout->lineAt(i);
                QString piece = text.mid(line.textStart(), line.textLength());
                // A break typed inside the paragraph ends this line; the CR LF stands for it.
                if (piece.endsWith(QChar::LineSeparator)) piece.chop(1);
                lines_ << piece;
            }
        }
        // A break at the very end of the text does not start another line, and an empty memo
        // has no lines at all.
        if (!lines_.isEmpty() && lines_.last().isEmpty()) lines_.removeLast();
        return lines_;
    }

private:
    QPlainTextEdit& memo_;
    QMetaObject::Connection edited_;
    bool stale_ = true;
    int width_ = -1;
    QStringList lines_;
};

// A memo that is hidden, or has never been shown, has not yet seen its own size: it wraps at
// whatever width it had before, or not at all. Deliver the resizes it is waiting for, as showing
// it would: the memo's own lays out its viewport, the viewport's sets the wrapping width.
void SettleWrappingWidth(QPlainTextEdit& memo) {
    memo.ensurePolished();
    for (QWidget* widget : {static_cast<QWidget*>(&memo), memo.viewport()}) {
        if (!widget->testAttribute(Qt::WA_PendingResizeEvent)) continue;
        QResizeEvent resize(widget->size(), QSize());
        QCoreApplication::sendEvent(widget, &resize);
    }
}

}  // namespace

std::string Windows1252Bytes(QStringView text) {
    std::string bytes;
    for (const char32_t c : text.toUcs4()) bytes += Windows1252Byte(c);
    return bytes;
}

std::string HostTextBytes(QStringView text) {
    if (!HostHasOwnSingleByteSet()) return Windows1252Bytes(text);
    std::string bytes;
    for (const char32_t c : text.toUcs4()) bytes += HostByte(c);
    return bytes;
}

protocol::LineSource MemoLines(QPlainTextEdit& memo) {
    SettleWrappingWidth(memo);
    auto cache = std::make_shared<MemoLineCache>(memo);
    return protocol::LineSource{
        [cache] { return static_cast<int>(cache->Lines().size()); },
        [cache](int i) {
            const QStringList& lines = cache->Lines();
            return i >= 0 && i < lines.size() ? HostTextBytes(lines[i]) : std::string();
        }};
}

}  // namespace prax::app
