// prax-screenshots: shows the main window in one state after another (a scene each) and saves
// what the screen shows of it as FOLDER/SCENE.png, for people to look at.
//
//   prax-screenshots FOLDER [SCENE ...]     no scene: all of them, in the order listed below
//   prax-screenshots --list                 the scenes, one a line
//
// Each scene starts from a fresh window, so none depends on another. The picture is taken from
// the screen (QScreen::grabWindow), so it holds what the window system really shows: the window
// and whatever lies above it, such as the progress dialog.
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "app/qt/MainWindow.h"
#include "app/qt/Desktop.h"
#include "app/qt/FontDialog.h"
#include "platform/Native.h"
#include "tools/screenshots/Scenes.h"

namespace {

using TForm1 = prax::app::qt::MainWindow;

struct Scene {
    const char* name;
    const char* what;
    // Brings a freshly shown window into the scene's state.
    std::function<void(TForm1&)> prepare;
};

// Typed into "Download Firmware" as a person would, key by key.
void Type(TForm1& form, const QString& keys) {
    for (const QChar c : keys) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(form.Button1, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(form.Button1, &release);
    }
}

QPixmap Grab();

// A scene with a box takes its picture from inside the box's own loop, then answers it.
QString boxPicture;
bool boxGrabbed = false;

// A real firmware transfer, with Escape pressed on the progress dialog once it runs; the picture
// is taken while the question is up, and the answer is No.
void StopQuestion(TForm1& f) {
    // With no entry of the list chosen the link writes to the file "a" in the current folder:
    // the temporary one, with the image beside it.
    const QString before = QDir::currentPath();
    QDir::setCurrent(QDir::tempPath());
    std::ofstream("prax-screenshot.bin", std::ios::binary) << std::string(512 * 200, 'x');
    std::ofstream("a", std::ios::binary | std::ios::trunc).close();
    f.hooks.question = {};
    f.hooks.openFile = [](const QString&, const QString&) { return QStringLiteral("prax-screenshot.bin"); };
    f.ComboBox1->setEditText(QStringLiteral("nowhere"));
    QTimer::singleShot(0, &f, [&f] {
        QTimer::singleShot(800, &f, [] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            boxGrabbed = Grab().save(boxPicture, "PNG");
            if (box != nullptr) box->button(QMessageBox::No)->click();
        });
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(f.frmProgress.data(), &escape);
    });
    f.Core().Button1Click();
    QDir::setCurrent(before);
}

const std::vector<Scene>& Scenes() {
    static const std::vector<Scene> scenes = {
        {"start", "the window as it opens", [](TForm1&) {}},
        {"qxvmra", "after \"qxvmra\": Download DL Firmware revealed",
         [](TForm1& f) { Type(f, QStringLiteral("qxvmra")); }},
        {"prownelkast", "after \"prownelkast\": Change Mode revealed",
         [](TForm1& f) { Type(f, QStringLiteral("prownelkast")); }},
        {"zulb", "after \"zulb\": Download Binary File revealed",
         [](TForm1& f) { Type(f, QStringLiteral("zulb")); }},
        {"progress", "a firmware transfer part-way: blue gauge, byte count in the status line",
         [](TForm1& f) {
             prax::screenshots::TransferPartWay(f.Core());
         }},
        {"countdown", "the red countdown after a download-mode image, two ticks in",
         [](TForm1& f) {
             Type(f, QStringLiteral("qxvmra"));
             prax::screenshots::CountdownTwoTicksIn(f.Core());
             f.Timer1->stop();  // held still for the picture
         }},
        {"font-dialog", "the font list as Download True Type Font shows it, a row selected",
         [](TForm1& f) {
             // As the download shows it, without its wait for a choice.
             f.Form2->show();
             prax::app::qt::CentreOnDesktop(*f.Form2);
             f.Core().FillFontList();
             const auto rows = f.Form2->StringGrid1->findItems(QStringLiteral("Liberation Sans (TrueType)"),
                                                               Qt::MatchExactly);
             f.Form2->StringGrid1->setCurrentCell(rows.isEmpty() ? 1 : rows.front()->row(), 0);
         }},
        {"font-dialog-empty", "the font list with no TrueType font registered: the empty row and why",
         [](TForm1& f) {
             f.Form2->show();
             prax::app::qt::CentreOnDesktop(*f.Form2);
             prax::platform::NativePlatform host;
             prax::screenshots::EmptyFontList(f.Core(), host);
             f.Form2->DrawRows();
         }},
        {"stop-question", "Escape during a transfer: \"Stop the transfer?\" in front, the progress dialog out of its way",
         StopQuestion},
    };
    return scenes;
}

const Scene* FindScene(const QString& name) {
    for (const Scene& s : Scenes())
        if (name == QLatin1String(s.name)) return &s;
    return nullptr;
}

// Lets the window system map, expose and paint every visible window, within a bounded time.
bool Settle() {
    const QDeadlineTimer deadline(5000);
    for (;;) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        bool exposed = true;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && (!w->windowHandle() || !w->windowHandle()->isExposed()))
                exposed = false;
        }
        if (exposed) break;
        if (deadline.hasExpired()) return false;
    }
    // A few more rounds for the paint events that the exposure itself queued.
    for (int i = 0; i < 5; ++i) {
        QApplication::sync();
        QApplication::processEvents();
    }
    return true;
}

// What the screen shows of every visible window, frames included.
QPixmap Grab() {
    QRect area;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) area |= w->frameGeometry();
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
}

bool Render(const Scene& scene, const QDir& folder) {
    prax::platform::NativePlatform host;
    prax::app::qt::TForm1Hooks hooks;
    // Nothing here opens a connection; should a box come up all the same, it must not wait for
    // a person.
    hooks.message = [](const QString&, const QString&) {};
    hooks.question = [](const QString&, const QString&, std::uint32_t) {
        return prax::platform::IDNO_;
    };
    hooks.error = [](const QString&, const QString&) {};
    hooks.openFile = [](const QString&, const QString&) { return QString(); };
    auto form = std::make_unique<TForm1>(host, QStringList(), hooks);
    form->show();
    if (!Settle()) {
        std::fprintf(stderr, "prax-screenshots: %s: the window did not come up\n", scene.name);
        return false;
    }
    const QString path = folder.filePath(QString::fromLatin1(scene.name) + QStringLiteral(".png"));
    boxPicture = path;
    boxGrabbed = false;
    scene.prepare(*form);
    if (boxGrabbed) {
        std::printf("%s  %s\n", qPrintable(path), scene.what);
        return true;
    }
    if (!Settle()) {
        std::fprintf(stderr, "prax-screenshots: %s: a window did not come up\n", scene.name);
        return false;
    }
    if (!Grab().save(path, "PNG")) {
        std::fprintf(stderr, "prax-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s  %s\n", qPrintable(path), scene.what);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    if (arguments.value(0) == QLatin1String("--list")) {
        for (const Scene& s : Scenes()) std::printf("%s\t%s\n", s.name, s.what);
        return 0;
    }
    if (arguments.isEmpty() || arguments.front().startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: prax-screenshots FOLDER [SCENE ...] | --list\n");
        return 2;
    }
    const QDir folder(arguments.takeFirst());
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "prax-screenshots: cannot make %s\n", qPrintable(folder.path()));
        return 1;
    }

    std::vector<const Scene*> chosen;
    if (arguments.isEmpty()) {
        for (const Scene& s : Scenes()) chosen.push_back(&s);
    }
    for (const QString& name : arguments) {
        const Scene* scene = FindScene(name);
        if (scene == nullptr) {
            std::fprintf(stderr, "prax-screenshots: no scene named %s (see --list)\n",
                         qPrintable(name));
            return 2;
        }
        chosen.push_back(scene);
    }

    bool ok = true;
    for (const Scene* scene : chosen) ok = Render(*scene, folder) && ok;
    return ok ? 0 : 1;
}
