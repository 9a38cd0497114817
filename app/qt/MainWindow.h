// The Qt main window: the widgets built from the layout table, each click, key, timer tick and
// close request handed to the window core, which decides what happens.
#pragma once

#include <cstdint>
#include <string>

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "app/core/Unit1.h"
#include "app/qt/FormWidgets.h"
#include "app/qt/QtFormView.h"
#include "app/qt/FontDialog.h"
#include "app/qt/ProgressDialog.h"
#include "platform/Platform.h"

namespace prax::app::qt {

class MainWindow final : public QMainWindow, public FormWidgets {
    Q_OBJECT

public:
    // `arguments` are the program's arguments without the program name: one (an image path) or
    // two (an image path and a connection) start the firmware download at once.
    MainWindow(platform::Platform& host, QStringList arguments, TForm1Hooks hooks = {},
               QWidget* parent = nullptr);
    ~MainWindow() override;

    TForm1& Core() { return *core_; }
    QtFormView& Ui() { return ui_; }
    // What the tests look at.
    QString TypedKeys() const;
    QString StatusText() const;

    TForm1Hooks hooks;
    QPointer<TfrmProgress> frmProgress;
    QPointer<TForm2> Form2;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ConnectHandlers();
    void SetOuterSize(int width, int height);
    void ApplyStartSize();

    QtFormView ui_;
    std::unique_ptr<TForm1> core_;
};

}  // namespace prax::app::qt
