#include "app/qt/Gauge.h"

#include <QPainter>

namespace prax::app::qt {

namespace {
QColor ToQColor(protocol::Rgb c) { return QColor(c.r, c.g, c.b); }
}  // namespace

TGauge::TGauge(const protocol::GaugeModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    // The gauge paints every pixel itself; nothing behind it needs drawing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGauge::Repaint() {
    ++repaintRequests_;
    update();
}

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
