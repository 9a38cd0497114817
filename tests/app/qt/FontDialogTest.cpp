// The font selection window, offscreen, over a fake registry.
#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include "app/qt/Desktop.h"
#include "app/qt/FontDialog.h"
#include "platform/fake/FakePlatform.h"
#include "protocol/FontList.h"

using prax::app::FontChooser;
using prax::app::qt::TForm2;
using prax::platform::fake::FakePlatform;

namespace {

const char* const kFontsKey = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";

// Arial with a file of 1300 bytes, Batang missing, and entries that are not listed.
void InstallFonts(FakePlatform& host) {
    const std::string windows = QDir::tempPath().toStdString() + "/fontdialog-windows";
    std::filesystem::create_directories(windows + "/Fonts");
    std::ofstream(windows + "/Fonts/ARIAL.TTF", std::ios::binary | std::ios::trunc)
        << std::string(1300, 'a');
    host.hostWindowsFolder = windows;
    host.SetRegString(kFontsKey, "Batang TrueType", "batang.ttf");
    host.SetRegString(kFontsKey, "Cambria (TrueType)", "cambria.ttc");
    host.SetRegString(kFontsKey, "Arial (TrueType)", "ARIAL.TTF");
}

// The fonts listed into the chooser and drawn, as the core's FillFontList does.
void Fill(FakePlatform& host, FontChooser& chooser, TForm2& dialog) {
    chooser.ClearChoice();
    chooser.Fill(prax::protocol::ReadInstalledFonts(host));
    dialog.DrawRows();
}

QStringList Row(const TForm2& dialog, int row) {
    QStringList texts;
    for (int c = 0; c < dialog.StringGrid1->columnCount(); ++c) {
        const QTableWidgetItem* item = dialog.StringGrid1->item(row, c);
        texts << (item ? item->text() : QString());
    }
    return texts;
}

}  // namespace

class FontDialogTest : public QObject {
    Q_OBJECT

private slots:
    void windowAndControlsAsLaidOut() {
        FakePlatform host;
        FontChooser chooser;
        TForm2 dialog(chooser);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Select Font"));
        QVERIFY(dialog.isWindow());
        QVERIFY(!dialog.isModal());
        QCOMPARE(dialog.frameGeometry().size(), QSize(659, 414));
        QCOMPARE(dialog.font().pixelSize(), 13);
        const struct {
            QWidget* widget;
            QRect geometry;
        } controls[] = {
            {dialog.StringGrid1, {9, 9, 633, 300}}, {dialog.GroupBox1, {8, 312, 449, 49}},
            {dialog.Label1, {32, 16, 409, 29}},     {dialog.Button1, {472, 320, 80, 40}},
            {dialog.Button2, {560, 320, 80, 40}},
        };
        for (const auto& c : controls) QCOMPARE(c.widget->geometry(), c.geometry);
        QCOMPARE(dialog.findChild<QTableWidget*>(QStringLiteral("StringGrid1")),
                 dialog.StringGrid1);
        QCOMPARE(dialog.Label1->parentWidget(), dialog.GroupBox1);
        QCOMPARE(dialog.GroupBox1->title(), QStringLiteral("Example"));
        QCOMPARE(dialog.Label1->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(dialog.Label1->font().pixelSize(), 23);
        for (QPushButton* b : {dialog.Button1, dialog.Button2}) {
            QCOMPARE(b->font().pixelSize(), 17);
            QVERIFY(!b->isDefault() && !b->autoDefault());
        }
        QCOMPARE(dialog.Button1->text(), QStringLiteral("OK"));
        QCOMPARE(dialog.Button2->text(), QStringLiteral("Cancel"));

        QTableWidget* grid = dialog.StringGrid1;
        QCOMPARE(grid->columnCount(), 3);
        QVERIFY(grid->horizontalHeader()->isHidden() && grid->verticalHeader()->isHidden());
        QVERIFY(grid->showGrid());
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        QCOMPARE(grid->verticalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        for (int c = 0; c < 3; ++c) QCOMPARE(grid->columnWidth(c), 200);
    }

    // Every activation puts the controls back where they belong.
    void activationReappliesTheGeometry() {
        FakePlatform host;
        FontChooser chooser;
        TForm2 dialog(chooser);
        dialog.show();
        dialog.StringGrid1->setGeometry(0, 0, 10, 10);
        dialog.Button2->move(0, 0);
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(dialog.StringGrid1->geometry(), QRect(9, 9, 633, 300));
        QCOMPARE(dialog.Button2->geometry(), QRect(560, 320, 80, 40));
    }

    // The chooser's rows, as listed (tests/app/core/FontChooserTest.cpp), in the grid at their widths;
    // the window centred on the desktop when it opens.
    void drawsTheRowsAtTheirWidthsCentred() {
        FakePlatform host;
        InstallFonts(host);
        FontChooser chooser;
        TForm2 dialog(chooser);
        Fill(host, chooser, dialog);
        prax::app::qt::CentreOnDesktop(dialog);
        QCOMPARE(dialog.StringGrid1->rowCount(), 2);
        QCOMPARE(Row(dialog, 0), (QStringList{"Arial (TrueType)", "ARIAL.TTF", "1300 Bytes"}));
        QCOMPARE(Row(dialog, 1), (QStringList{"Batang TrueType", "batang.ttf", "-1 Bytes"}));
        QCOMPARE(dialog.StringGrid1->columnWidth(0), 280);
        QCOMPARE(dialog.StringGrid1->columnWidth(1), 150);
        QCOMPARE(dialog.StringGrid1->columnWidth(2), 150);
        const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
        QCOMPARE(dialog.frameGeometry().center(), desktop.center());
    }

    // A font whose name can't be sent is drawn greyed, saying why; the others as they are.
    void aFontThatCannotBeSentIsGreyedWithItsReason() {
        FakePlatform host;
        InstallFonts(host);
        host.SetRegString(kFontsKey, "Bad, font (TrueType)", "bad.ttf");
        FontChooser chooser;
        TForm2 dialog(chooser);
        Fill(host, chooser, dialog);
        QCOMPARE(Row(dialog, 1), (QStringList{"Bad, font (TrueType)", "bad.ttf", "-1 Bytes"}));
        const QBrush grey = dialog.palette().brush(QPalette::Disabled, QPalette::Text);
        for (int c = 0; c < 3; ++c) {
            QCOMPARE(dialog.StringGrid1->item(1, c)->foreground(), grey);
            QVERIFY(dialog.StringGrid1->item(1, c)->toolTip().contains("a comma at position 4"));
            QVERIFY(dialog.StringGrid1->item(0, c)->toolTip().isEmpty());
            QVERIFY(dialog.StringGrid1->item(0, c)->foreground() != grey);
        }
    }

    // OK without a click hands the first row to the chooser; Cancel hands over nothing; both
    // hide.
    void okAndCancelHandOverTheChoice() {
        FakePlatform host;
        InstallFonts(host);
        FontChooser chooser;
        TForm2 dialog(chooser);
        dialog.show();
        Fill(host, chooser, dialog);
        QTest::mouseClick(dialog.Button1, Qt::LeftButton);
        prax::protocol::FontChoice choice = chooser.Take();
        QCOMPARE(choice.name, std::string("Arial (TrueType)"));
        QCOMPARE(choice.file, std::string("ARIAL.TTF"));
        QVERIFY(dialog.isHidden());

        dialog.show();
        Fill(host, chooser, dialog);
        dialog.StringGrid1->setCurrentCell(1, 2);
        dialog.Button1Click();
        choice = chooser.Take();
        QCOMPARE(choice.name, std::string("Batang TrueType"));
        QCOMPARE(choice.file, std::string("batang.ttf"));

        dialog.show();
        chooser.Choose(0);
        QTest::mouseClick(dialog.Button2, Qt::LeftButton);
        QVERIFY(!chooser.Chosen());
        QVERIFY(dialog.isHidden());
    }

    // Enter and Escape press neither button, even with the focus on one; Tab moves between the
    // grid and the buttons, the arrow keys move the row.
    void keysPressNoButtonAndMoveTheRowOnlyWhenMeantTo() {
        FakePlatform host;
        InstallFonts(host);
        FontChooser chooser;
        TForm2 dialog(chooser);
        dialog.show();
        Fill(host, chooser, dialog);
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QSignalSpy ok(dialog.Button1, &QPushButton::clicked);
        QSignalSpy cancel(dialog.Button2, &QPushButton::clicked);
        for (QPushButton* b : {dialog.Button1, dialog.Button2}) {
            b->setFocus();
            QTest::keyClick(b, Qt::Key_Return);
            QTest::keyClick(b, Qt::Key_Enter);
            QTest::keyClick(b, Qt::Key_Escape);
        }
        QCOMPARE(ok.count() + cancel.count(), 0);
        QVERIFY(dialog.isVisible());
        QVERIFY(!chooser.Chosen());

        // Tab leaves the grid for the buttons without touching the row OK hands over; Shift+Tab
        // comes back; the arrow keys move the row.
        QTableWidget* grid = dialog.StringGrid1;
        grid->setFocus();
        QCOMPARE(grid->currentRow(), 0);
        QTest::keyClick(grid, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.Button1);
        QTest::keyClick(dialog.Button1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.Button2);
        QTest::keyClick(dialog.Button2, Qt::Key_Backtab, Qt::ShiftModifier);
        QTest::keyClick(dialog.Button1, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), grid);
        QCOMPARE(grid->currentRow(), 0);
        QTest::keyClick(grid, Qt::Key_Down);
        QCOMPARE(grid->currentRow(), 1);
    }

    // The grid follows the chooser's rows: one empty row when nothing was listed at the first
    // fill; a later fill with nothing listed keeps what its first row held.
    void nothingListedLeavesOneRow() {
        FakePlatform host;
        host.SetRegString(kFontsKey, "Cambria (TrueType)", "cambria.ttc");
        FontChooser chooser;
        TForm2 dialog(chooser);
        Fill(host, chooser, dialog);
        QCOMPARE(dialog.StringGrid1->rowCount(), 1);
        QCOMPARE(Row(dialog, 0), (QStringList{"", "", ""}));

        InstallFonts(host);
        Fill(host, chooser, dialog);
        QCOMPARE(dialog.StringGrid1->rowCount(), 2);
        host.SetRegString(kFontsKey, "Arial (TrueType)", "gone.fon");
        host.SetRegString(kFontsKey, "Batang TrueType", "gone.fon");
        Fill(host, chooser, dialog);
        QCOMPARE(dialog.StringGrid1->rowCount(), 1);
        QCOMPARE(Row(dialog, 0), (QStringList{"Arial (TrueType)", "ARIAL.TTF", "1300 Bytes"}));
    }

    // With nothing listed the grid says why, greyed, under its empty row; a list with a font
    // takes the notice away.
    void anEmptyListSaysWhyUnderItsRow() {
        FakePlatform host;
        host.SetRegString(kFontsKey, "Cambria (TrueType)", "cambria.ttc");
        FontChooser chooser;
        TForm2 dialog(chooser);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(dialog.EmptyListNotice->isHidden());
        Fill(host, chooser, dialog);
        QLabel* notice = dialog.EmptyListNotice;
        QCOMPARE(notice->parentWidget(), dialog.StringGrid1->viewport());
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QString::fromStdString(chooser.EmptyListNotice()));
        QVERIFY(notice->text().contains("HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"));
        QVERIFY(notice->geometry().top() >= dialog.StringGrid1->rowHeight(0));
        QVERIFY(notice->geometry().bottom() < dialog.StringGrid1->viewport()->height());
        QCOMPARE(Row(dialog, 0), (QStringList{"", "", ""}));

        InstallFonts(host);
        Fill(host, chooser, dialog);
        QVERIFY(notice->isHidden());
    }

    // The grid's lines are its handles: dragging a column's right line sets its width, a row's
    // bottom line its height, and neither press selects a row; a press in a cell selects as
    // before. The headings stay hidden.
    void gridLinesSizeColumnsAndRows() {
        FakePlatform host;
        InstallFonts(host);
        FontChooser chooser;
        TForm2 dialog(chooser);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        Fill(host, chooser, dialog);
        QTableWidget* grid = dialog.StringGrid1;
        QWidget* viewport = grid->viewport();
        const int rowHeight = grid->rowHeight(0);
        const int line = grid->columnViewportPosition(1) - 1;

        QTest::mouseMove(viewport, QPoint(line, 3 * rowHeight));
        QCOMPARE(viewport->cursor().shape(), Qt::SplitHCursor);
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(line + 1, 3));
        QTest::mouseMove(viewport, QPoint(line + 41, 30));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(line + 41, 30));
        QCOMPARE(grid->columnWidth(0), 320);
        QCOMPARE(grid->columnWidth(1), 150);

        const int bottom = rowHeight - 1;
        QTest::mouseMove(viewport, QPoint(100, bottom));
        QCOMPARE(viewport->cursor().shape(), Qt::SplitVCursor);
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(100, bottom));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(100, bottom + 12));
        QCOMPARE(grid->rowHeight(0), rowHeight + 12);
        QCOMPARE(grid->rowHeight(1), rowHeight);
        QCOMPARE(grid->currentRow(), 0);  // no row selected by a press on a line

        QTest::mouseMove(viewport, QPoint(100, rowHeight + 12 + rowHeight / 2));
        QCOMPARE(viewport->cursor().shape(), Qt::ArrowCursor);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(100, rowHeight + 12 + rowHeight / 2));
        QCOMPARE(grid->currentRow(), 1);
        QCOMPARE(grid->rowHeight(1), rowHeight);
        QVERIFY(grid->horizontalHeader()->isHidden() && grid->verticalHeader()->isHidden());
    }

    // Selecting a row previews its face; an entry without "(TrueType)" clears the caption and
    // leaves the face; showing previews the current row.
    void previewFollowsTheSelectedRow() {
        FakePlatform host;
        InstallFonts(host);
        FontChooser chooser;
        TForm2 dialog(chooser);
        dialog.show();
        QCOMPARE(dialog.Label1->text(), QString());  // shown before any fill
        Fill(host, chooser, dialog);
        dialog.StringGrid1->setCurrentCell(1, 0);
        dialog.StringGrid1->setCurrentCell(0, 1);
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Arial "));
        QCOMPARE(dialog.Label1->font().family(), QStringLiteral("Arial"));
        QCOMPARE(dialog.Label1->font().pixelSize(), 23);
        dialog.StringGrid1->setCurrentCell(1, 0);
        QCOMPARE(dialog.Label1->text(), QString());
        QCOMPARE(dialog.Label1->font().family(), QStringLiteral("Arial"));

        dialog.hide();
        {
            const QSignalBlocker quiet(dialog.StringGrid1);
            dialog.StringGrid1->setCurrentCell(0, 0);
        }
        dialog.show();
        QCOMPARE(dialog.Label1->text(), QStringLiteral("Arial "));
    }
};

QTEST_MAIN(FontDialogTest)
#include "FontDialogTest.moc"
