// The progress window and its gauge, offscreen.
#include <stdexcept>

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QtTest>

#include "app/qt/ProgressDialog.h"

using prax::app::qt::TfrmProgress;
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
        TfrmProgress dialog(&owner, 0, 0, 0);
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
        TfrmProgress dialog(nullptr);
        QVERIFY(dialog.Panel1 != nullptr);
        QCOMPARE(dialog.Panel1->objectName(), QStringLiteral("Panel1"));
        QCOMPARE(dialog.Panel1->geometry(), QRect(0, 0, 670, 75));
        QCOMPARE(dialog.Panel1->frameShadow(), QFrame::Sunken);
        QCOMPARE(dialog.findChild<TGauge*>(QStringLiteral("ggProgress")), dialog.ggProgress);
        QCOMPARE(dialog.ggProgress->parentWidget(), dialog.Panel1);
        QCOMPARE(dialog.ggProgress->geometry(), QRect(2, 2, 662, 67));
    }

    void centredOnTheScreen() {
        TfrmProgress dialog(nullptr);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(dialog.geometry().center().x() / 2, screen.center().x() / 2);
        QCOMPARE(dialog.geometry().center().y() / 2, screen.center().y() / 2);
    }

    void startsBlueOnWhiteOverHundred() {
        TfrmProgress dialog(nullptr, 0, 0, 0);
        TGauge* g = dialog.ggProgress;
        QCOMPARE(g->MinValue(), 0);
        QCOMPARE(g->MaxValue(), 100);
        QCOMPARE(g->Progress(), 0);
        QVERIFY(g->ForeColor() == prax::protocol::kBlue);
        QVERIFY(g->BackColor() == prax::protocol::kWhite);
    }

    void constructorAppliesMaximumMinimumPositionInThatOrder() {
        TfrmProgress dialog(nullptr, 50, 10, 5);
        QCOMPARE(dialog.ggProgress->MaxValue(), 50);
        QCOMPARE(dialog.ggProgress->MinValue(), 10);
        // The position came last and was raised to the new minimum.
        QCOMPARE(dialog.ggProgress->Progress(), 10);
    }

    void positionIsClamped() {
        TfrmProgress dialog(nullptr);
        TGauge* g = dialog.ggProgress;
        g->SetMaxValue(1);
        g->SetProgress(2);
        QCOMPARE(g->Progress(), 1);
        QCOMPARE(g->Percent(), 100);
        g->SetProgress(-7);
        QCOMPARE(g->Progress(), 0);
        g->SetMaxValue(1000);
        g->SetProgress(1001);
        QCOMPARE(g->Progress(), 1000);
        g->SetMaxValue(128);
        QCOMPARE(g->Progress(), 128);
    }

    void maximumZeroIsIgnoredAndBadRangesRefused() {
        TfrmProgress dialog(nullptr);
        TGauge* g = dialog.ggProgress;
        g->SetMaxValue(300);
        g->SetMaxValue(0);
        QCOMPARE(g->MaxValue(), 300);
        g->SetMinValue(10);
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, g->SetMaxValue(5));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, g->SetMinValue(301));
        QCOMPARE(g->MaxValue(), 300);
        QCOMPARE(g->MinValue(), 10);
    }

    void repaintsOnlyWhenThePercentageChanges() {
        TfrmProgress dialog(nullptr);
        TGauge* g = dialog.ggProgress;
        g->SetMaxValue(10000);
        const int before = g->RepaintRequests();
        for (int i = 1; i <= 99; ++i) g->SetProgress(i);  // still 0 %
        QCOMPARE(g->RepaintRequests(), before);
        g->SetProgress(100);  // 1 %
        QCOMPARE(g->RepaintRequests(), before + 1);
        for (int i = 101; i <= 10000; ++i) g->SetProgress(i);  // 2 % .. 100 %
        QCOMPARE(g->RepaintRequests(), before + 100);
        g->SetForeColor(prax::protocol::kBlue);  // unchanged
        QCOMPARE(g->RepaintRequests(), before + 100);
        g->SetForeColor(prax::protocol::kRed);
        QCOMPARE(g->RepaintRequests(), before + 101);
    }

    void paintsFilledPartThenUnfilledPart() {
        TfrmProgress dialog(nullptr);
        TGauge* g = dialog.ggProgress;
        g->SetMaxValue(200);
        g->SetProgress(100);  // 50 %: the left 331 pixels of 662
        const QImage image = Paint(g);
        QCOMPARE(image.size(), QSize(662, 67));
        QCOMPARE(image.pixel(5, 5) & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF);
        QCOMPARE(image.pixel(330, 5) & 0xFFFFFF, qRgb(0, 0, 255) & 0xFFFFFF);
        QCOMPARE(image.pixel(331, 5) & 0xFFFFFF, qRgb(255, 255, 255) & 0xFFFFFF);
        QCOMPARE(image.pixel(655, 60) & 0xFFFFFF, qRgb(255, 255, 255) & 0xFFFFFF);
    }

    void percentageTextIsInvertedOverBothParts() {
        TfrmProgress dialog(nullptr);
        TGauge* g = dialog.ggProgress;
        const QRect middle(331 - 40, 10, 80, 47);

        g->SetProgress(0);  // all white: white xor white gives black glyphs
        QImage image = Paint(g);
        QVERIFY(CountPixels(image, qRgb(0, 0, 0), middle) > 0);
        QCOMPARE(CountPixels(image, qRgb(0, 0, 0), QRect(0, 0, 100, 67)), 0);

        g->SetProgress(100);  // all blue: white xor blue gives yellow glyphs
        image = Paint(g);
        QVERIFY(CountPixels(image, qRgb(255, 255, 0), middle) > 0);
        QCOMPARE(CountPixels(image, qRgb(255, 255, 0), QRect(0, 0, 100, 67)), 0);

        g->SetForeColor(prax::protocol::kRed);
        image = Paint(g);
        QVERIFY(CountPixels(image, qRgb(0, 255, 255), middle) > 0);
        QCOMPARE(image.pixel(5, 5) & 0xFFFFFF, qRgb(255, 0, 0) & 0xFFFFFF);
    }

    void showsWithoutTakingTheFocus() {
        QMainWindow owner;
        owner.show();
        TfrmProgress dialog(&owner, 0, 0, 0);
        dialog.show();
        QVERIFY(dialog.isVisible());
        QVERIFY(dialog.testAttribute(Qt::WA_ShowWithoutActivating));
        dialog.hide();
        QVERIFY(!dialog.isVisible());
    }

    // Escape reaching the window is handed on, once, and leaves the window up.
    void escapeIsHandedOnAndTheWindowStays() {
        TfrmProgress dialog(nullptr);
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
