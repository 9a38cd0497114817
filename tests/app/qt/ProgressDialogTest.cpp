// The progress window and its gauge, offscreen: the window's geometry and the gauge's picture.
// The gauge's rules are the model's (tests/protocol/GaugeModelTest.cpp), and when it is repainted
// is the core's (tests/app/core/WindowCoreTest.cpp).
#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QtTest>

#include "app/qt/ProgressDialog.h"

using prax::app::qt::TfrmProgress;
using prax::protocol::GaugeModel;
using prax::app::qt::TGauge;

namespace {

QImage Paint(TGauge* gauge) { return gauge->grab().toImage().convertToFormat(QImage::Format_RGB32); }

int CountPixels(const QImage& image, QRgb colour, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++count;
    return count;
}

}  // namespace

class ProgressDialogTest : public QObject {
    Q_OBJECT

private slots:
    void windowIsSmallFixedAndBorderless() {
        QMainWindow owner;
        GaugeModel gauge;
        TfrmProgress dialog(&owner, gauge);
        QCOMPARE(dialog.size(), QSize(670, 75));
        QCOMPARE(dialog.minimumSize(), QSize(670, 75));
        QCOMPARE(dialog.maximumSize(), QSize(670, 75));
        QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(dialog.isWindow());
        QCOMPARE(dialog.parentWidget(), &owner);
        QVERIFY(!dialog.isModal());
        QVERIFY(dialog.isHidden());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Progress"));
        QCOMPARE(dialog.font().pixelSize(), 12);
    }

    void panelFillsTheWindowAndGaugeItsInterior() {
        GaugeModel gauge;
        TfrmProgress dialog(nullptr, gauge);
        QVERIFY(dialog.Panel1 != nullptr);
        QCOMPARE(dialog.Panel1->objectName(), QStringLiteral("Panel1"));
        QCOMPARE(dialog.Panel1->geometry(), QRect(0, 0, 670, 75));
        QCOMPARE(dialog.Panel1->frameShadow(), QFrame::Sunken);
        QCOMPARE(dialog.findChild<TGauge*>(QStringLiteral("ggProgress")), dialog.ggProgress);
        QCOMPARE(dialog.ggProgress->parentWidget(), dialog.Panel1);
        QCOMPARE(dialog.ggProgress->geometry(), QRect(2, 2, 662, 67));
    }

    void centredOnTheScreen() {
        GaugeModel gauge;
        TfrmProgress dialog(nullptr, gauge);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(dialog.geometry().center().x() / 2, screen.center().x() / 2);
        QCOMPARE(dialog.geometry().center().y() / 2, screen.center().y() / 2);
    }

    void paintsFilledPartThenUnfilledPart() {
        GaugeModel gauge;
        TfrmProgress dialog(nullptr, gauge);
        TGauge* g = dialog.ggProgress;
        gauge.SetMaxValue(200);
        gauge.SetProgress(100);  // 50 %: the left 331 pixels of 662
        const QImage image = Paint(g);
        QCOMPARE(image.size(), QSize(662, 67));
        QCOMPARE(image.pixel(5, 5) & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF);
        QCOMPARE(image.pixel(330, 5) & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF);
        QCOMPARE(image.pixel(331, 5) & 0xFFFFFF, qRgb(255, 255, 255) & 0xFFFFFF);
        QCOMPARE(image.pixel(655, 60) & 0xFFFFFF, qRgb(255, 255, 255) & 0xFFFFFF);
    }

    void percentageTextIsInvertedOverBothParts() {
        GaugeModel gauge;
        TfrmProgress dialog(nullptr, gauge);
        TGauge* g = dialog.ggProgress;
        const QRect middle(331 - 40, 10, 80, 47);

        gauge.SetProgress(0);  // all white: white xor white gives black glyphs
        QImage image = Paint(g);
        QVERIFY(CountPixels(image, qRgb(0, 0, 0), middle) > 0);
        QCOMPARE(CountPixels(image, qRgb(0, 0, 0), QRect(0, 0, 100, 67)), 0);

        gauge.SetProgress(100);  // all blue: white xor blue gives yellow glyphs
        image = Paint(g);
        QVERIFY(CountPixels(image, qRgb(255, 255, 0), middle) > 0);
        QCOMPARE(CountPixels(image, qRgb(255, 255, 0), QRect(0, 0, 100, 67)), 0);

        gauge.SetForeColor(prax::protocol::kRed);
        image = Paint(g);
        QVERIFY(CountPixels(image, qRgb(0, 255, 255), middle) > 0);
        QCOMPARE(image.pixel(5, 5) & 0xFFFFFF, qRgb(255, 0, 0) & 0xFFFFFF);
    }

    void showsWithoutTakingTheFocus() {
        QMainWindow owner;
        GaugeModel gauge;
        owner.show();
        TfrmProgress dialog(&owner, gauge);
        dialog.show();
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.testAttribute(Qt::WA_ShowWithoutActivating));
        dialog.hide();
        QVERIFY(!dialog.isVisible());
    }

    // Escape reaching the window is handed on, once, and leaves the window up.
    void escapeIsHandedOnAndTheWindowStays() {
        GaugeModel gauge;
        TfrmProgress dialog(nullptr, gauge);
        int escapes = 0;
        dialog.escapePressed = [&] { ++escapes; };
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        QTest::keyClick(&dialog, Qt::Key_A);
        QCOMPARE(escapes, 1);
        QVERIFY(dialog.isVisible());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ProgressDialogTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ProgressDialogTest.moc"
