// The Qt widgets of the main window, built from the control table (app/core/ControlTable.h),
// plus the window's timer and its two dialogs. Nothing here acts; the core's handlers do that.
#pragma once

#include <array>
#include <vector>

#include <QFont>
#include <QPointer>
#include <QStringList>

#include "app/core/ControlTable.h"

class QComboBox;
class QFileDialog;
class QFontDialog;
class QLabel;
class QMainWindow;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;
class QWidget;

namespace prax::app::qt {

// The layout's faces (LayoutFaces), in order.
QStringList LayoutFamilies();
QFont LayoutFont(int pixelSize, bool bold = false);

struct FormWidgets {
    // Creates every control on `form` (its central widget and status bar), as laid out.
    void BuildWidgets(QMainWindow& form);

    // The widget made for a control of the table.
    QWidget* Widget(ControlId id) const { return widgets_[Index(id)]; }

    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button9 = nullptr;
    QPushButton* Button10 = nullptr;
    QPushButton* Button11 = nullptr;
    QPushButton* Button12 = nullptr;
    QPushButton* Button13 = nullptr;
    QPushButton* Button14 = nullptr;
    QPushButton* Button15 = nullptr;
    QPushButton* SendButton = nullptr;
    QPushButton* Btn_WakeUpFw = nullptr;
    QPushButton* Btn_DownloadBootLoader = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label8 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QComboBox* cbDownloadTTFont = nullptr;
    QComboBox* cbDownloadTable = nullptr;
    QComboBox* Combo_delay01 = nullptr;
    QComboBox* Combo_delay02 = nullptr;
    QComboBox* Combo_delay03 = nullptr;
    QComboBox* Combo_size = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    // The status line's one simple text.
    QLabel* StatusBar1Text = nullptr;
    QTimer* Timer1 = nullptr;

    // The open-file dialog, made on first use; each operation sets its filter and folder.
    QFileDialog* dlOpenBin();
    // The font dialog the window carries with its settings; nothing shows it. Made on first use,
    // since building its list of faces would slow the window's start for nothing.
    QFontDialog* dlFont();

    // Every push button, in the order they are made.
    const std::vector<QPushButton*>& Buttons() const { return buttons_; }
    // Every control that takes the keyboard focus, in the order the Tab key visits them.
    std::vector<QWidget*> TabOrder() const;

private:
    // The widget of one entry, on `client` (the status bar: on the window).
    QWidget* MakeWidget(const ControlEntry& entry, QWidget& client);
    // The named members, each the widget of its entry.
    void NameWidgets();

    QMainWindow* form_ = nullptr;
    std::array<QWidget*, kControlCount> widgets_{};
    std::vector<QPushButton*> buttons_;
    QPointer<QFileDialog> openDialog_;
    QPointer<QFontDialog> fontDialog_;
};

}  // namespace prax::app::qt
