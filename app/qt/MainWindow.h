// The Qt main window: the widgets built from the layout table, each click, key, timer tick and
// close request handed to the window core, which decides what happens.
#pragma once

#include <cstdint>
#include <string>

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "app/Unit1.h"
#include "app/qt/QtLayout.h"
#include "app/qt/WindowOperator.h"
#include "dialogs/qt/FontDialog.h"
#include "dialogs/qt/Progress.h"
#include "platform/Platform.h"

namespace prax::app::qt {

class MainWindow final : public QMainWindow, public TForm1Layout {
    Q_OBJECT

public:
    // `arguments` are the program's arguments without the program name: one (an image path) or
    // two (an image path and a connection) start the firmware download at once.
    MainWindow(platform::Platform& host, QStringList arguments, TForm1Hooks hooks = {},
               QWidget* parent = nullptr);
    ~MainWindow() override;

    TForm1& Core() { return *core_; }
    WindowOperator& Ui() { return ui_; }
    // What the tests look at.
    QString TypedKeys() const;
    QString StatusText() const;

    TForm1Hooks hooks;
    QPointer<dialogs::TfrmProgress> frmProgress;
    QPointer<dialogs::TForm2> Form2;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ConnectHandlers();
    void SetOuterSize(int width, int height);
    void ApplyStartSize();

    WindowOperator ui_;
    std::unique_ptr<TForm1> core_;
};

}  // namespace prax::app::qt
