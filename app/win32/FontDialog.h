// The "Select Font" window: draws the font chooser's rows (the installed TrueType fonts with their
// files and sizes) and the preview of the one selected, and hands OK and Cancel to the chooser
// with the row its grid has current. It is never modal: the download that shows it keeps polling
// the chooser meanwhile, and the main window's message loop hands it its keyboard messages
// through PreTranslate.
#pragma once

#include <string>
#include <vector>

#include "app/core/FontChooser.h"
#include "app/core/GridSizing.h"
#include "app/win32/WindowsUi.h"

namespace prax::app::win32 {

class TForm2 {
public:
    // Created hidden, above `owner`; `chooser` outlives the window.
    TForm2(FontChooser& chooser, HWND owner);
    ~TForm2();
    TForm2(const TForm2&) = delete;
    TForm2& operator=(const TForm2&) = delete;

    HWND Handle() const { return window_; }
    HWND StringGrid1() const { return grid_; }
    HWND GroupBox1() const { return group_; }
    HWND Label1() const { return preview_; }
    HWND Button1() const { return ok_; }
    HWND Button2() const { return cancel_; }

    // Draws the chooser's rows over the grid's: a font that can't be sent greyed, saying why;
    // the grid cut to the chooser's rows, its current row kept where it can be.
    void DrawRows();
    // Centres the window, frame included, on the whole desktop.
    void CentreOnDesktop();

    void Button1Click();
    void Button2Click();
    void StringGrid1SelectCell(int ACol, int ARow, bool& CanSelect);
    void FormShow();
    void FormActivate();

    // Shows the window in front and makes it the active one.
    void Show();
    bool Visible() const;
    bool Active() const;

    // For the message loop, with every message before it is dispatched: true when it was the
    // window's keyboard navigation (Tab, Shift+Tab) and is done with. Enter and Escape are left
    // to the control with the focus, so neither presses a button.
    bool PreTranslate(MSG& msg);

    // What the grid holds: its rows, the one that is current (-1: none), and a cell's bytes as
    // they were listed (the chooser's; empty for a cell never filled).
    int RowCount() const;
    int CurrentRow() const;
    std::string Cell(int row, int column) const;
    // Why the list is empty, as the grid draws it under its one empty row; empty while fonts are
    // listed.
    const std::string& EmptyListNotice() const { return chooser_.EmptyListNotice(); }
    // What the preview shows, and the face it is drawn in.
    std::string PreviewCaption() const;
    std::string PreviewFace() const;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    // The grid's own messages first: its lines are the handles that size its columns and rows.
    static LRESULT CALLBACK GridProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);

private:
    // The grid's mouse on its lines; true when the message was the sizing's and is done with.
    bool GridMouse(UINT msg, LPARAM lp);
    std::vector<GridSizing::Line> ColumnLines() const;
    std::vector<GridSizing::Line> RowLines() const;
    // Every row of a list view is as high as the others: a row dragged sets them all.
    void SetRowHeight(int height);
    void DrawNotice(HDC dc) const;
    LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Notify(const NMHDR& header, LPARAM lp);
    void ApplyGeometry();
    void Preview(int row);
    void SetRowCount(int rows);
    void SetCell(int row, int column, const std::string& text);
    // Makes `row` the current one without a selection by the operator: no preview.
    void QuietlySelect(int row);

    FontChooser& chooser_;
    GridSizing sizing_;
    HIMAGELIST rowSizer_ = nullptr;  // sets the rows' height; ours, shared with the grid
    OwnedFont windowFont_, buttonFont_, previewFont_;
    bool quiet_ = false;         // the grid's changes are the dialog's own, not the operator's
    HWND lastFocus_ = nullptr;   // where the focus goes back to when the window is activated
    HWND window_ = nullptr;
    HWND grid_ = nullptr;
    HWND group_ = nullptr;
    HWND preview_ = nullptr;
    HWND ok_ = nullptr;
    HWND cancel_ = nullptr;
};

}  // namespace prax::app::win32
