#include "app/qt/Gauge.h"

#include <QPainter>

namespace prax::app::qt {

namespace {
QColor ToQColor(protocol::Rgb c) { return QColor(c.r, c.g, c.b); }
}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
    // The gauge paints every pixel itself; nothing behind it needs drawing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGauge::RepaintIf(bool changed) {
    if (!changed) return;
    ++repaintRequests_;
    update();
}

void TGauge::SetProgress(std::int32_t v) { RepaintIf(model_.SetProgress(v)); }
void TGauge::SetMaxValue(std::int32_t v) { RepaintIf(model_.SetMaxValue(v)); }
void TGauge::SetMinValue(std::int32_t v) { RepaintIf(model_.SetMinValue(v)); }
void TGauge::SetForeColor(protocol::Rgb c) { RepaintIf(model_.SetForeColor(c)); }
void TGauge::SetBackColor(protocol::Rgb c) { RepaintIf(model_.SetBackColor(c)); }

void TGauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect bar = rect();
    const int percent = model_.Percent();

    painter.fillRect(bar, ToQColor(model_.BackColor()));
    const int filled = static_cast<int>(static_cast<long long>(bar.width()) * percent / 100);
    if (filled > 0) painter.fillRect(QRect(bar.left(), bar.top(), filled, bar.height()),
                                     ToQColor(model_.ForeColor()));

    // White combined by exclusive-or inverts whatever lies under each glyph pixel, so the text
    // reads over the filled and the unfilled part alike. Smoothed glyph edges would be xor-ed
    // twice and smear, hence no antialiasing.
    QFont textFont = font();
    textFont.setStyleStrategy(QFont::NoAntialias);
    painter.setFont(textFont);
    painter.setRenderHint(QPainter::TextAntialiasing, false);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    painter.setPen(Qt::white);
    painter.drawText(bar, Qt::AlignCenter, QString::number(percent) + QLatin1Char('%'));
}

}  // namespace prax::app::qt
