// The "Select Font" window: draws the font chooser's rows (the installed TrueType fonts with their
// files and sizes) and the preview of the one selected, and hands OK and Cancel to the chooser
// with the row its grid has current. It is never modal: the download that shows it keeps polling
// the chooser meanwhile.
#pragma once

#include <string>
#include <vector>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTableWidget>
#include <QWidget>

#include "app/core/DialogGeometry.h"
#include "app/core/FontChooser.h"
#include "app/core/GridSizing.h"

namespace prax::app::qt {

class TForm2 : public QWidget {
    Q_OBJECT

public:
    static constexpr int kOuterWidth = app::fontdialog::kOuterWidth;
    static constexpr int kOuterHeight = app::fontdialog::kOuterHeight;

    // `chooser` outlives the window.
    explicit TForm2(FontChooser& chooser, QWidget* parent = nullptr);

    QTableWidget* StringGrid1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    // Why the list is empty, drawn in the grid under its one empty row; hidden while fonts are
    // listed.
    QLabel* EmptyListNotice = nullptr;

    // Draws the chooser's rows over the grid's: a font that can't be sent greyed, saying why;
    // the grid cut to the chooser's rows, its current row kept where it can be.
    void DrawRows();

    void Button1Click();
    void Button2Click();
    void StringGrid1SelectCell(int ACol, int ARow, bool& CanSelect);
    void FormShow();
    void FormActivate();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    // The grid's mouse: its lines are the handles that size its columns and rows.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<GridSizing::Line> ColumnLines() const;
    std::vector<GridSizing::Line> RowLines() const;
    void PlaceNotice();
    void ApplyGeometry();
    void Preview(int row);
    FontChooser& chooser_;
    GridSizing sizing_;
    bool outerSizeSet_ = false;
};

}  // namespace prax::app::qt
