#include "app/qt/MemoText.h"

#include <memory>
#include <string>

#include <QCoreApplication>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QStringList>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "protocol/HostText.h"

namespace prax::app::qt {

namespace {

std::u32string CodePoints(QStringView text) {
    const auto ucs4 = text.toUcs4();
    return std::u32string(ucs4.begin(), ucs4.end());
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

std::string Windows1252Bytes(QStringView text) { return protocol::Windows1252Bytes(CodePoints(text)); }

std::string HostTextBytes(QStringView text) { return protocol::HostTextBytes(CodePoints(text)); }

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

}  // namespace prax::app::qt
