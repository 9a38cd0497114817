// The "Select Font" window: the installed TrueType fonts with their files and sizes, a preview
// of the one selected, and OK/Cancel that hand the choice over through two texts. It is never
// modal: the download that shows it keeps polling for the choice meanwhile.
#pragma once

#include <functional>
#include <string>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QTableWidget>
#include <QWidget>

#include "app/core/DialogGeometry.h"
#include "platform/Platform.h"

namespace prax::app::qt {

class TForm2 : public QWidget {
    Q_OBJECT

public:
    static constexpr int kOuterWidth = app::fontdialog::kOuterWidth;
    static constexpr int kOuterHeight = app::fontdialog::kOuterHeight;

    explicit TForm2(platform::Platform& host, QWidget* parent = nullptr);

    QTableWidget* StringGrid1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

    // The choice: both set by OK, both empty while there is none.
    std::string selectedFontName;
    std::string selectedFontFile;

    // Shows a message ("Can't open font"); a message box when unset.
    std::function<void(const QString&)> message;

    // Empties the choice, lists the installed fonts and centres the window. Throws what the
    // registry read throws (a value that is not text).
    void FillFontList();

    void Button1Click();
    void Button2Click();
    void StringGrid1SelectCell(int ACol, int ARow, bool& CanSelect);
    void FormShow();
    void FormActivate();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ApplyGeometry();
    void Preview(int row);
    // The bytes of a cell as they were listed; empty for a cell never filled.
    std::string CellBytes(int row, int column) const;

    platform::Platform& host_;
    bool outerSizeSet_ = false;
};

}  // namespace prax::app::qt
