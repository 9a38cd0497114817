// The main window, offscreen: its layout, the hidden key sequences, the connection mapping,
// the countdown, and the operations wired to its buttons, against real ptys standing in for
// serial ports. Every box the window would show is answered by a recorder.
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QSet>
#include <QStyle>
#include <QStyleOptionButton>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextDocumentLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>
#include <QDeadlineTimer>
#include <QDir>
#include <QTimer>
#include <QtTest>

#include "app/qt/MainWindow.h"
#include "app/qt/MemoText.h"
#include "app/qt/FontDialog.h"
#include "app/qt/ProgressDialog.h"
#include "platform/posix/PosixPlatform.h"
#include "protocol/Commands.h"
#include "protocol/FontList.h"
#include "tests/support/Pty.h"
#include "tools/virtual-printer/Decoder.h"

using TForm1 = prax::app::qt::MainWindow;
using Core = prax::app::TForm1;

namespace {

struct Shown {
    QString caption;
    QString text;
    bool warning = false;  // the box with the warning icon
};

// Everything the window asked or told a person, in order.
struct Recorder {
    std::vector<Shown> messages;
    std::vector<Shown> questions;
    std::vector<Shown> errors;
    std::vector<QPair<QString, QString>> fileDialogs;  // filter, folder
    QString fileAnswer;
    int questionAnswer = prax::platform::IDNO_;

    prax::app::qt::TForm1Hooks Hooks() {
        prax::app::qt::TForm1Hooks hooks;
        hooks.message = [this](const QString& c, const QString& t) { messages.push_back({c, t}); };
        hooks.warning = [this](const QString& c, const QString& t) { messages.push_back({c, t, true}); };
        hooks.question = [this](const QString& c, const QString& t, std::uint32_t) {
            questions.push_back({c, t});
            return questionAnswer;
        };
        hooks.error = [this](const QString& c, const QString& t) { errors.push_back({c, t}); };
        hooks.openFile = [this](const QString& filter, const QString& folder) {
            fileDialogs.push_back({filter, folder});
            return fileAnswer;
        };
        return hooks;
    }
    // The program's own text of each box: its first line; the host's reason may follow.
    QStringList MessageTexts() const {
        QStringList texts;
        for (const Shown& m : messages) texts << m.text.section(QLatin1Char('\n'), 0, 0);
        return texts;
    }
};

// The stream a firmware download puts on the wire, built from the documented format.
std::uint16_t Modbus(const std::string& data) {
    std::uint16_t crc = 0xFFFF;
    for (unsigned char b : data) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                                                    : static_cast<std::uint16_t>(crc >> 1);
    }
    return crc;
}

std::string FirmwareStream(const std::string& image) {
    std::string s(20, '\r');
    s += "~O\r\nZENTA_FW_MARK_STRING,\r\nD0," + std::to_string(image.size()) + "\r\n";
    s += std::string(2, '\r');
    s += image;
    const std::uint16_t crc = Modbus(image);
    s += static_cast<char>(crc & 0xFF);
    s += static_cast<char>(crc >> 8);
    for (int i = 0; i < 128; ++i) s += static_cast<char>(i);
    return s;
}

QString FirmwareStatus(const std::string& image) {
    const std::uint16_t crc = Modbus(image);
    const std::uint16_t reg = static_cast<std::uint16_t>((crc << 8) | (crc >> 8));
    return QString::number(image.size()) + QStringLiteral(" Bytes  CRC=") +
           QString::number(reg, 16).toUpper();
}

// What the virtual printer makes of a stream.
std::vector<std::string> Decoded(const std::string& stream) {
    std::vector<std::string> lines;
    prax::vprinter::Decoder decoder([&](const std::string& line) { lines.push_back(line); });
    decoder.Feed(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
    decoder.Finish();
    return lines;
}

std::string ModbusHex(const std::string& image) {
    const std::uint16_t crc = Modbus(image);
    return QStringLiteral("%1").arg(static_cast<std::uint16_t>((crc << 8) | (crc >> 8)), 4, 16, QLatin1Char('0'))
        .toUpper()
        .toStdString();
}

std::string TestImage(int size) {
    std::string image;
    for (int i = 0; i < size; ++i) image += static_cast<char>((i * 7 + 3) & 0xFF);
    return image;
}

QStringList VisibleControls(TForm1& form) {
    QStringList names;
    const auto children =
        form.centralWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* w : children)
        if (w->isVisible()) names << w->objectName();
    names.sort();
    return names;
}

const QStringList kOperatorPanel = {"Button1",   "Button3", "Button14",         "Label1",
                                    "ComboBox1", "Label2",  "cbDownloadTTFont", "Label8"};

// Where a control paints: a label only where its text's ink is (labels are transparent and
// grow to their text), anything else its whole box.
QRect Painted(QWidget* w) {
    auto* label = qobject_cast<QLabel*>(w);
    if (label == nullptr) return w->geometry();
    const QFontMetrics metrics(label->font());
    const QRect contents = label->contentsRect();
    const int top = contents.y() + (contents.height() - metrics.height()) / 2;
    return metrics.tightBoundingRect(label->text())
        .translated(label->x() + contents.x(), label->y() + top + metrics.ascent());
}

// The first two visible controls that paint over each other, other than Label8 under Button1,
// which the layout hides that way on purpose.
QString OverlappingPair(TForm1& form) {
    QList<QWidget*> shown;
    for (QWidget* w : form.centralWidget()->findChildren<QWidget*>(QString(),
                                                                 Qt::FindDirectChildrenOnly))
        if (w->isVisible()) shown << w;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        for (qsizetype j = i + 1; j < shown.size(); ++j) {
            const QSet<QWidget*> pair = {shown[i], shown[j]};
            if (pair == QSet<QWidget*>{form.Label8, form.Button1}) continue;
            if (Painted(shown[i]).intersects(Painted(shown[j])))
                return shown[i]->objectName() + QStringLiteral(" / ") + shown[j]->objectName();
        }
    }
    return {};
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    prax::platform::posix::PosixPlatform host;
    Recorder rec;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<QTemporaryDir> workDir;

    TForm1& Open(const QStringList& arguments = {}) {
        form = std::make_unique<TForm1>(host, arguments, rec.Hooks());
        return *form;
    }
    TForm1& OpenShown() {
        Open();
        form->show();
        return *form;
    }
    QString WriteImage(const std::string& image) {
        const QString path = workDir->filePath(QStringLiteral("image.bin"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) return {};
        file.write(image.data(), static_cast<qint64>(image.size()));
        return path;
    }
    void SelectPort(const char* text) {
        form->ComboBox1->setCurrentIndex(form->ComboBox1->findText(QString::fromLatin1(text)));
    }
    // Runs one button's operation over a pty attached as COM3 and returns what arrived.
    std::string OverPty(void (Core::*handler)(), std::size_t expected) {
        return OverPty([this, handler] { (form->Core().*handler)(); }, expected);
    }
    std::string OverPty(const std::function<void()>& press, std::size_t expected) {
        prax::testing::Pty pty;
        if (!pty.ok()) return "<no pty>";
        qputenv("PRAX_COM3", QByteArray::fromStdString(pty.path()));
        pty.StartReading();
        SelectPort("COM3 115200");
        press();
        std::string got = pty.WaitFor(expected, 10000);
        pty.StopReading();
        return got;
    }

    // Acts on the font selection window from inside the download's wait, once it is active.
    void OnceFontListActive(const std::function<void(prax::app::qt::TForm2&)>& act) {
        auto* timer = new QTimer(form.get());
        timer->setInterval(1);
        QObject::connect(timer, &QTimer::timeout, form.get(), [this, timer, act] {
            if (!form->Form2 || !form->Form2->isActiveWindow()) return;
            timer->stop();
            timer->deleteLater();
            act(*form->Form2);
        });
        timer->start();
    }

private slots:
    void initTestCase() {
        QApplication::setQuitOnLastWindowClosed(false);
        // A port code of -1 opens a file named "a" in the working folder; keep that empty.
        workDir = std::make_unique<QTemporaryDir>();
        QVERIFY(workDir->isValid());
        QVERIFY(QDir::setCurrent(workDir->path()));
        qputenv("PRAX_COM7", "/nonexistent/tty");
    }

    void init() { rec = Recorder{}; }
    void cleanup() { form.reset(); }

    // --- start-up and layout ------------------------------------------------------------------

    void titlesAndStartSize() {
        TForm1& f = Open();
        QCOMPARE(f.windowTitle(), QStringLiteral("PRAX FW Download Tool V1.6"));
        QCOMPARE(QGuiApplication::applicationDisplayName(),
                 QStringLiteral("PRAX FW Download Tool V1.6"));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("PRAX FW Download Tool V1.6"));
        f.show();
        QCOMPARE(f.frameGeometry().size(), QSize(400, 260));
        const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
        QVERIFY(qAbs(f.frameGeometry().center().x() - desktop.center().x()) <= 1);
        QVERIFY(qAbs(f.frameGeometry().center().y() - desktop.center().y()) <= 1);
        QVERIFY(!f.Core().CommandLineMode());
        QVERIFY(f.frmProgress);
        QVERIFY(f.frmProgress->isHidden());
        QCOMPARE(f.frmProgress->ggProgress->MaxValue(), 100);
    }

    void onlyTheOperatorPanelIsVisibleAtStart() {
        TForm1& f = OpenShown();
        QStringList expected = kOperatorPanel;
        expected.sort();
        QCOMPARE(VisibleControls(f), expected);
        const QString overlap = OverlappingPair(f);
        QVERIFY2(overlap.isEmpty(), qPrintable(overlap));
        QVERIFY(f.StatusBar1->isVisible());
        QCOMPARE(f.StatusBar1->objectName(), QStringLiteral("StatusBar1"));
        QCOMPARE(f.StatusText(), QString());
        // Label8 lies under Button1, which covers it completely.
        QVERIFY(f.Button1->geometry().contains(f.Label8->geometry()));
        const auto stack = f.centralWidget()->children();
        QVERIFY(stack.indexOf(f.Label8) < stack.indexOf(f.Button1));
    }

    void controlsCarryTheirNamesCaptionsAndGeometry() {
        TForm1& f = Open();
        struct Expect {
            const char* name;
            const char* caption;
            QRect geometry;
            int pixels;
            bool bold;
        };
        const Expect buttons[] = {
            {"Button1", "Download Firmware", {0, 11, 177, 33}, 15, true},
            {"Button3", "Download True Type Font", {0, 54, 177, 33}, 11, true},
            {"Button14", "Initialize the Printer", {0, 96, 177, 33}, 11, true},
            {"Button2", "Download DL Firmware", {0, 135, 176, 32}, 15, true},
            {"Button4", "Download Font Code Table", {0, 211, 176, 33}, 11, true},
            {"Button5", "Continue", {0, 182, 98, 14}, 11, true},
            {"Button6", "Button6", {0, 202, 59, 13}, 10, false},
            {"Button7", "Button7", {65, 202, 59, 13}, 10, false},
            {"Button8", "Change Mode", {182, 143, 118, 33}, 15, true},
            {"Button9", "Download Binary File", {0, 170, 176, 33}, 15, true},
            {"Button10", "Channel00", {0, 245, 66, 27}, 10, false},
            {"Button11", "Channel25", {72, 245, 65, 27}, 10, false},
            {"Button12", "Channel49", {143, 245, 66, 27}, 10, false},
            {"Button13", "continue read", {221, 117, 72, 27}, 10, false},
            {"SendButton", "SEND", {182, 111, 118, 33}, 10, false},
            {"Button15", "Initializing the Cutter", {408, 210, 177, 33}, 11, true},
            {"Btn_WakeUpFw", "Wake Up Firmware", {456, 47, 176, 32}, 15, true},
            {"Btn_DownloadBootLoader", "Download DL Firmware", {456, 7, 176, 32}, 15, true},
        };
        for (const Expect& e : buttons) {
            auto* b = f.findChild<QPushButton*>(QString::fromLatin1(e.name));
            QVERIFY2(b != nullptr, e.name);
            QCOMPARE(b->text(), QString::fromLatin1(e.caption));
            QCOMPARE(b->geometry(), e.geometry);
            QCOMPARE(b->font().pixelSize(), e.pixels);
            QCOMPARE(b->font().bold(), e.bold);
        }
        // Black text throughout but on "Continue"; every control asks for the layout's face
        // first, whatever stands in for it.
        for (const Expect& e : buttons) {
            auto* b = f.findChild<QPushButton*>(QString::fromLatin1(e.name));
            const QColor text = b == f.Button5 ? QColor(255, 0, 0) : QColor(0, 0, 0);
            QCOMPARE(b->palette().color(QPalette::ButtonText), text);
            QCOMPARE(b->font().families().value(0), QStringLiteral("MS Sans Serif"));
        }

        const Expect labels[] = {
            {"Label1", "Connection Port", {182, 7, 94, 16}, 15, false},
            {"Label2", "Font  Number", {182, 51, 80, 16}, 15, false},
            {"Label3", "Table Number", {182, 96, 87, 16}, 15, false},
            {"Label4", "command delay", {319, 6, 97, 16}, 15, false},
            {"Label5", "wait delay", {319, 51, 60, 16}, 15, false},
            {"Label6", "package size", {319, 142, 81, 16}, 15, false},
            {"Label7", "package delay", {319, 97, 91, 16}, 15, false},
            {"Label8", "Input Command", {8, 15, 93, 16}, 15, false},
        };
        for (const Expect& e : labels) {
            auto* l = f.findChild<QLabel*>(QString::fromLatin1(e.name));
            QVERIFY2(l != nullptr, e.name);
            QCOMPARE(l->text(), QString::fromLatin1(e.caption));
            QCOMPARE(l->pos(), e.geometry.topLeft());
            QVERIFY(l->width() >= e.geometry.width());
            QCOMPARE(l->font().pixelSize(), 15);
            QCOMPARE(l->font().families().value(0), QStringLiteral("MS Sans Serif"));
            QCOMPARE(l->palette().color(QPalette::WindowText), QColor(0, 0, 0));
        }

        const struct {
            const char* name;
            QRect geometry;
            int count;
            const char* current;
            int index;
        } lists[] = {
            {"ComboBox1", {181, 24, 119, 21}, 10, "USB", 0},
            {"cbDownloadTTFont", {182, 67, 118, 21}, 26, "TA", 0},
            {"cbDownloadTable", {182, 112, 118, 21}, 26, "TA", 0},
            {"Combo_delay01", {319, 23, 72, 21}, 6, "0", 0},
            {"Combo_delay02", {319, 67, 72, 21}, 6, "0", 0},
            {"Combo_delay03", {319, 112, 72, 21}, 7, "0", 0},
            {"Combo_size", {319, 158, 72, 21}, 9, "512", 7},
        };
        for (const auto& e : lists) {
            auto* c = f.findChild<QComboBox*>(QString::fromLatin1(e.name));
            QVERIFY2(c != nullptr, e.name);
            QVERIFY(c->isEditable());
            QCOMPARE(c->geometry(), e.geometry);
            QCOMPARE(c->count(), e.count);
            QCOMPARE(c->currentText(), QString::fromLatin1(e.current));
            QCOMPARE(c->currentIndex(), e.index);
            QCOMPARE(c->font().pixelSize(), 10);
        }
        QCOMPARE(f.ComboBox1->itemText(9), QStringLiteral("COM8 115200"));
        QCOMPARE(f.cbDownloadTTFont->itemText(25), QStringLiteral("TZ"));
        QCOMPARE(f.Combo_delay02->itemText(5), QStringLiteral("2000"));
        QCOMPARE(f.Combo_delay03->itemText(6), QStringLiteral("100"));

        QCOMPARE(f.findChild<QPlainTextEdit*>(QStringLiteral("Memo1")), f.Memo1);
        QCOMPARE(f.Memo1->geometry(), QRect(247, 176, 169, 120));
        QVERIFY(f.Memo1->toPlainText().isEmpty());
        QCOMPARE(f.StatusBar1->height(), 20);

        QCOMPARE(f.findChild<QTimer*>(QStringLiteral("Timer1")), f.Timer1);
        QVERIFY(!f.Timer1->isActive());
        QCOMPARE(f.Timer1->interval(), 2000);
    }

    // Under a dark theme, also one switched to while the window is open, the captions the layout
    // calls black take the theme's text colour over its button face; "Continue" stays red.
    void aDarkThemeKeepsTheCaptionsReadable() {
        TForm1& f = OpenShown();
        const QPalette before = QApplication::palette();
        struct Restore {
            QPalette palette;
            ~Restore() {
                QApplication::setPalette(palette);
                QCoreApplication::processEvents();
            }
        } restore{before};
        QPalette dark = before;
        const QColor face(53, 53, 53), light(230, 230, 230);
        for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::Base})
            dark.setColor(role, face);
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            dark.setColor(role, light);
        QApplication::setPalette(dark);
        QCoreApplication::processEvents();  // the windows hear of it through posted events

        QCOMPARE(f.centralWidget()->palette().color(f.centralWidget()->backgroundRole()), face);
        for (QWidget* w : std::initializer_list<QWidget*>{f.Button1, f.Button14, f.Button9, f.Button15, f.Button3})
            QCOMPARE(w->palette().color(QPalette::ButtonText), light);
        QCOMPARE(f.Label1->palette().color(f.Label1->foregroundRole()), light);
        QCOMPARE(f.Memo1->palette().color(QPalette::Text), light);
        QCOMPARE(f.Button5->palette().color(QPalette::ButtonText), QColor(255, 0, 0));
    }

    void button1ComesFirstAndHasTheFocus() {
        TForm1& f = OpenShown();
        QCOMPARE(f.focusWidget(), f.Button1);
        const QList<QWidget*> order = {f.Button1,     f.Button2,       f.Button3,
                                       f.Button4,     f.ComboBox1,     f.cbDownloadTTFont,
                                       f.cbDownloadTable, f.Button5,   f.Button6,
                                       f.Button7,     f.Combo_delay01, f.Combo_delay02,
                                       f.Combo_size,  f.Combo_delay03, f.Button8,
                                       f.Button9,     f.Button10,      f.Button11,
                                       f.Button12,    f.Button13,      f.Memo1,
                                       f.SendButton,  f.Button14,      f.Button15,
                                       f.Btn_WakeUpFw, f.Btn_DownloadBootLoader};
        // Among what can take the focus, each comes right after the one before it.
        QWidget* w = f.Button1;
        for (qsizetype i = 1; i < order.size(); ++i) {
            do {
                w = w->nextInFocusChain();
            } while (!order.contains(w));
            QCOMPARE(w->objectName(), order[i]->objectName());
        }
        // The visible ones, as the Tab key visits them.
        QWidget* visited = f.Button1;
        QStringList tabbed;
        for (int i = 0; i < 4; ++i) {
            do {
                visited = visited->nextInFocusChain();
            } while (!visited->isVisible() || visited->focusPolicy() == Qt::NoFocus ||
                     !order.contains(visited));
            tabbed << visited->objectName();
        }
        QCOMPARE(tabbed, QStringList({"Button3", "ComboBox1", "cbDownloadTTFont", "Button14"}));
    }

    // --- hidden key sequences -----------------------------------------------------------------

    void eachSequenceRevealsItsButtonOnly_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("revealed");
        QTest::newRow("qxvmra") << QStringLiteral("qxvmra") << QStringList{"Button2"};
        QTest::newRow("prownelkast") << QStringLiteral("prownelkast") << QStringList{"Button8"};
        QTest::newRow("zulb") << QStringLiteral("zulb") << QStringList{"Button9"};
    }
    void eachSequenceRevealsItsButtonOnly() {
        QFETCH(QString, keys);
        QFETCH(QStringList, revealed);
        TForm1& f = OpenShown();
        QTest::keyClicks(f.Button1, keys);
        QCOMPARE(f.height(), 240);
        QStringList expected = kOperatorPanel + revealed;
        expected.sort();
        QCOMPARE(VisibleControls(f), expected);
        QVERIFY(f.TypedKeys().isEmpty());
        // The revealed button lies clear of the panel and inside the taller window.
        const QString overlap = OverlappingPair(f);
        QVERIFY2(overlap.isEmpty(), qPrintable(overlap));
        auto* button = f.findChild<QPushButton*>(revealed.front());
        QVERIFY(f.centralWidget()->rect().contains(button->geometry()));
    }

    void keysStillReachTheButton() {
        TForm1& f = OpenShown();
        int clicks = 0;
        connect(f.Button1, &QPushButton::pressed, this, [&] { ++clicks; });
        QTest::keyClick(f.Button1, Qt::Key_Space);
        QCOMPARE(clicks, 1);  // the key was not swallowed
        QCOMPARE(f.TypedKeys(), QStringLiteral(" "));
        // Keys without a character (arrows, function keys) are not typed.
        QTest::keyClick(f.Button1, Qt::Key_F5);
        QTest::keyClick(f.Button1, Qt::Key_Shift);
        QCOMPARE(f.TypedKeys(), QStringLiteral(" "));
    }

    void controlCharactersAreTypedButNotTheKeysThatMoveAround() {
        TForm1& f = OpenShown();
        // Backspace and Ctrl+letter reach the button with a character of their own, the control
        // character, and count like any other.
        QTest::keyClick(f.Button1, Qt::Key_Backspace);
        QTest::keyClick(f.Button1, Qt::Key_B, Qt::ControlModifier);
        // As the window system sends it: Ctrl+C with its control character.
        QTest::sendKeyEvent(QTest::Press, f.Button1, Qt::Key_C, QStringLiteral("\x03"),
                            Qt::ControlModifier);
        // Escape and Tab move around the window, not into the buffer.
        QTest::keyClick(f.Button1, Qt::Key_Escape);
        QTest::sendKeyEvent(QTest::Press, f.Button1, Qt::Key_Tab, QStringLiteral("\t"), Qt::NoModifier);
        QCOMPARE(f.TypedKeys(), QStringLiteral("\b\x02\x03"));
        QCOMPARE(f.focusWidget(), f.Button3);
        // An Alt chord is not typing; AltGr, which comes as Ctrl+Alt, is.
        f.Button1->setFocus();
        QTest::keyClick(f.Button1, Qt::Key_Q, Qt::AltModifier);
        QTest::sendKeyEvent(QTest::Press, f.Button1, Qt::Key_At, QStringLiteral("@"),
                            Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(f.TypedKeys(), QStringLiteral("\b\x02\x03@"));
        // Enter on its own presses the button with the focus, and is not typed either; with
        // Shift or Ctrl it presses nothing.
        QTest::keyClick(f.Button1, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClick(f.Button1, Qt::Key_Enter, Qt::ControlModifier | Qt::KeypadModifier);
        QCOMPARE(rec.fileDialogs.size(), std::size_t{0});
        QTest::keyClick(f.Button1, Qt::Key_Return);
        QCOMPARE(rec.fileDialogs.size(), std::size_t{1});
        QCOMPARE(f.TypedKeys(), QStringLiteral("\b\x02\x03@"));
    }

    // --- connection choice --------------------------------------------------------------------

    void typedConnectionTextSelectsItsEntryOrNone() {
        TForm1& f = OpenShown();
        QLineEdit* edit = f.ComboBox1->lineEdit();
        edit->selectAll();
        QTest::keyClicks(edit, QStringLiteral("com3 115200"));
        QCOMPARE(f.ComboBox1->currentIndex(), 4);
        QCOMPARE(f.Core().SelectedPortCode(), 3);
        QCOMPARE(edit->text(), QStringLiteral("com3 115200"));
        QTest::keyClicks(edit, QStringLiteral("x"));
        QCOMPARE(f.ComboBox1->currentIndex(), -1);
        QCOMPARE(f.Core().SelectedPortCode(), -1);
        QCOMPARE(edit->text(), QStringLiteral("com3 115200x"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(f.Core().SelectedPortCode(), -1);
        QCOMPARE(f.ComboBox1->count(), 10);  // typed text is never added as an entry

        // The same in every list: an entry's text selects it, anything else selects nothing.
        for (QComboBox* list : {f.cbDownloadTTFont, f.cbDownloadTable, f.Combo_delay01,
                                f.Combo_delay02, f.Combo_delay03, f.Combo_size}) {
            const int count = list->count();
            list->lineEdit()->selectAll();
            QTest::keyClicks(list->lineEdit(), list->itemText(count - 1).toLower());
            QCOMPARE(list->currentIndex(), count - 1);
            QTest::keyClicks(list->lineEdit(), QStringLiteral("7"));
            QVERIFY2(list->currentIndex() == -1, qPrintable(list->objectName()));
            QCOMPARE(list->count(), count);
        }
    }

    // Every caption that is on screen, or that a key sequence brings there, fits inside its
    // button in the face that stands in for the layout's.
    void captionsFitTheirButtons() {
        TForm1& f = OpenShown();
        for (QPushButton* b : {f.Button1, f.Button3, f.Button14, f.Button2, f.Button8, f.Button9}) {
            QStyleOptionButton option;
            option.initFrom(b);
            option.text = b->text();
            const QRect inside = b->style()->subElementRect(QStyle::SE_PushButtonContents, &option, b);
            const QFontMetrics metrics(b->font());
            const QString face = QFontInfo(b->font()).family();
            QVERIFY2(metrics.horizontalAdvance(b->text()) <= inside.width(),
                     qPrintable(b->objectName() + QStringLiteral(" in ") + face));
            QVERIFY2(metrics.height() <= inside.height(),
                     qPrintable(b->objectName() + QStringLiteral(" in ") + face));
        }
    }

    // The two dialogs the window carries are made when first asked for, with their settings.
    void dialogsAreMadeOnFirstUse() {
        TForm1& f = Open();
        QVERIFY(f.findChild<QFontDialog*>() == nullptr);
        QVERIFY(f.findChild<QFileDialog*>() == nullptr);
        QFontDialog* font = f.dlFont();
        QCOMPARE(font->objectName(), QStringLiteral("dlFont"));
        QCOMPARE(font->options(), QFontDialog::FontDialogOptions(QFontDialog::ScalableFonts));
        QVERIFY(!font->isVisible());
        QCOMPARE(f.dlFont(), font);
        QFileDialog* open = f.dlOpenBin();
        QCOMPARE(open->objectName(), QStringLiteral("dlOpenBin"));
        QCOMPARE(f.dlOpenBin(), open);
    }

    // A name that does not exist can be typed and accepted: the operation reports it when it
    // reads the file, as any file it cannot read.
    void theOpenFileDialogAcceptsANameThatDoesNotExist() {
        TForm1& f = OpenShown();
        f.hooks.openFile = {};
        const QString missing = QDir(QDir::tempPath())
                                    .filePath(QStringLiteral("prax-no-such-%1.bin").arg(QCoreApplication::applicationPid()));
        bool typed = false, refused = false;
        QTimer type, watch;
        type.setInterval(1);
        watch.setInterval(1);
        QObject::connect(&type, &QTimer::timeout, &f, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (dialog == nullptr) return;
            type.stop();
            typed = true;
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name != nullptr);
            name->setText(missing);
            QTest::keyClick(name, Qt::Key_Return);
        });
        // A dialog that refuses the name says so in a box of its own: close both, the test fails.
        QObject::connect(&watch, &QTimer::timeout, &f, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            refused = true;
            box->reject();
            f.dlOpenBin()->reject();
        });
        type.start();
        watch.start();
        const std::string chosen = f.ChooseFile({"*.* |*.*", QDir::tempPath().toStdString()});
        QVERIFY(typed);
        QVERIFY(!refused);
        QCOMPARE(QString::fromStdString(chosen), missing);
    }

    // --- countdown ----------------------------------------------------------------------------

    void countdownDrivenByTheTimer() {
        TForm1& f = OpenShown();
        f.Core().Screen().StartCountdown();
        f.Timer1->setInterval(0);  // the same ticks, without waiting for them
        QTRY_VERIFY_WITH_TIMEOUT(!f.Timer1->isActive(), 5000);
        QCOMPARE(f.frmProgress->ggProgress->Progress(), 5);
        QVERIFY(!f.frmProgress->isVisible());
    }

    // --- closing ------------------------------------------------------------------------------

    void closeIsRefusedWhileGreyedAndDestroysTheDialog() {
        TForm1& f = OpenShown();
        const Qt::WindowFlags open = f.windowHandle()->flags();
        QVERIFY(!(open & Qt::CustomizeWindowHint));
        f.Core().Screen().SetCloseEnabled(false);
        // The close box is greyed with the command, and the shown window stays shown.
        const Qt::WindowFlags greyed = f.windowHandle()->flags();
        QVERIFY(!(greyed & Qt::WindowCloseButtonHint) && (greyed & Qt::CustomizeWindowHint));
        QCOMPARE(f.windowFlags(), greyed);
        QVERIFY(!f.close());
        QVERIFY(f.isVisible());
        QVERIFY(f.frmProgress);
        f.Core().Screen().SetCloseEnabled(true);
        QCOMPARE(f.windowHandle()->flags(), open);
        QCOMPARE(f.windowFlags(), open);
        QVERIFY(f.close());
        QVERIFY(!f.isVisible());
        QVERIFY(f.frmProgress.isNull());
        // Nothing the operations do on the dialog after that reaches a destroyed window.
        f.Core().Screen().ShowProgress();
        f.Core().Screen().SetProgressPosition(3);
        QCOMPARE(f.Core().Screen().ProgressPosition(), 0);
    }

    // --- the operations -----------------------------------------------------------------------

    void checkButtonShowsTheSerialChecksum() {
        TForm1& f = Open();
        f.Core().Button6Click();
        QCOMPARE(rec.MessageTexts(), QStringList{QStringLiteral("1275")});
        QCOMPARE(rec.messages[0].caption, QStringLiteral("PRAX FW Download Tool V1.6"));
    }

    void initializeOnAPortThatCannotOpen() {
        TForm1& f = OpenShown();
        SelectPort("COM7 115200");
        QTest::mouseClick(f.Button14, Qt::LeftButton);
        QCOMPARE(rec.MessageTexts(), QStringList{QStringLiteral("Open port failed")});
        QVERIFY(rec.messages[0].warning);
        QVERIFY(rec.questions.empty());
        QVERIFY(rec.errors.empty());
        QVERIFY(rec.fileDialogs.empty());
        QCOMPARE(f.StatusText(), QString());
        QVERIFY(f.Button14->isEnabled());
    }

    void changeModeOnAPortThatCannotOpen() {
        TForm1& f = Open();
        SelectPort("COM7 115200");
        f.Core().Button8Click();
        QCOMPARE(rec.MessageTexts(), QStringList{QStringLiteral("Can't open port")});
        QVERIFY(rec.questions.empty());
    }

    void cutterAndSendOnAPortThatCannotOpen() {
        TForm1& f = Open();
        SelectPort("COM7 115200");
        f.Core().Button15Click();
        f.Core().SendButtonClick();
        QCOMPARE(rec.MessageTexts(),
                 QStringList({QStringLiteral("Open port failed"), QStringLiteral("Open port failed")}));
    }

    void initializeOverAPty() {
        Open();
        const std::string got = OverPty(&Core::Button14Click, 10);
        QCOMPARE(QByteArray::fromStdString(got), QByteArray("^default\r\n"));
        QVERIFY(rec.messages.empty());
        QVERIFY(rec.questions.empty());
    }

    void initializeTwiceOverAPty() {
        Open();
        prax::testing::Pty pty;
        QVERIFY(pty.ok());
        qputenv("PRAX_COM3", QByteArray::fromStdString(pty.path()));
        pty.StartReading();
        SelectPort("COM3 115200");
        QTest::mouseClick(form->Button14, Qt::LeftButton);
        QTest::mouseClick(form->Button14, Qt::LeftButton);
        const std::string got = pty.WaitFor(20, 10000);
        pty.StopReading();
        QCOMPARE(QByteArray::fromStdString(got), QByteArray("^default\r\n^default\r\n"));
        QVERIFY(rec.messages.empty());
    }

    void changeModeAndCutterOverAPty() {
        Open();
        QCOMPARE(QByteArray::fromStdString(OverPty(&Core::Button8Click, 21)),
                 QByteArray("~~INTERNALCOMMANDCA\r\n"));
        QCOMPARE(QByteArray::fromStdString(OverPty(&Core::Button15Click, 7)),
                 QByteArray("^D1,5\r\n"));
        QVERIFY(rec.messages.empty());
    }

    void sendWritesEachMemoLineWithItsLineBreak() {
        Open();
        form->Memo1->setPlainText(QStringLiteral("first\n\nthird\n"));
        QCOMPARE(QByteArray::fromStdString(OverPty(&Core::SendButtonClick, 16)),
                 QByteArray("first\r\n\r\nthird\r\n"));
        form->Memo1->setPlainText(QStringLiteral("last without break"));
        QCOMPARE(QByteArray::fromStdString(OverPty(&Core::SendButtonClick, 20)),
                 QByteArray("last without break\r\n"));
        form->Memo1->clear();
        QCOMPARE(QByteArray::fromStdString(OverPty(&Core::SendButtonClick, 0)), QByteArray());
        QVERIFY(rec.messages.empty());
    }

    void sendSplitsWrappedLinesAsTheMemoShowsThem() {
        Open();  // never shown: the memo must still wrap at its own width
        QString longLine;
        for (int i = 0; i < 12; ++i) longLine += QStringLiteral("wrapping%1 ").arg(i);
        longLine += QString(60, QLatin1Char('x'));  // no blank to break at
        form->Memo1->setPlainText(QStringLiteral("Gr\u00fc\u00dfe \u20ac \U0001F600 \u6f22\n") +
                                  longLine + QStringLiteral("\n\nA\u2028B\nend\n"));
        prax::testing::Pty pty;
        QVERIFY(pty.ok());
        qputenv("PRAX_COM3", QByteArray::fromStdString(pty.path()));
        pty.StartReading();
        SelectPort("COM3 115200");
        form->Core().SendButtonClick();
        QTRY_VERIFY(QByteArray::fromStdString(pty.Received()).endsWith("end\r\n"));

        // What the memo shows once it is on screen.
        form->show();
        form->Memo1->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QTextBlock block = form->Memo1->document()->findBlockByNumber(1);
        qobject_cast<QPlainTextDocumentLayout*>(form->Memo1->document()->documentLayout())
            ->ensureBlockLayout(block);
        QVERIFY(block.layout()->lineCount() >= 3);
        QByteArray wrapped;
        for (int i = 0; i < block.layout()->lineCount(); ++i) {
            const QTextLine line = block.layout()->lineAt(i);
            wrapped += block.text().mid(line.textStart(), line.textLength()).toLatin1() + "\r\n";
        }
        QCOMPARE(QByteArray::fromStdString(pty.Received()),
                 "Gr\xfc\xdf" "e \x80 ? ?\r\n" + wrapped + "\r\nA\r\nB\r\nend\r\n");
    }

    void hostTextIsOneBytePerCharacter() {
        // This host's locale is UTF-8 or plain ASCII: the text goes out in Windows-1252.
        const struct {
            const char16_t* text;
            const char* bytes;
        } cases[] = {
            {u"plain ~^", "plain ~^"},
            {u"\u00e9\u00ff\u00a0", "\xe9\xff\xa0"},
            {u"\u20ac\u201a\u0192\u2026\u0152\u2122\u0178", "\x80\x82\x83\x85\x8c\x99\x9f"},
            {u"\u0081\u0100\u03a9\u6f22", "????"},  // not in the code page
            {u"a\U0001F600b", "a?b"},                 // one '?' for one character
            {u"\t\x1b", "\t\x1b"},
        };
        for (const auto& c : cases) {
            const QString text = QString::fromUtf16(c.text);
            QCOMPARE(QByteArray::fromStdString(prax::app::qt::Windows1252Bytes(text)),
                     QByteArray(c.bytes));
            QCOMPARE(QByteArray::fromStdString(prax::app::qt::HostTextBytes(text)),
                     QByteArray(c.bytes));
        }
    }

    void firmwareAsksForABinFileInTheProgramFolder() {
        TForm1& f = Open();
        rec.fileAnswer = QString();  // cancelled
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        QCOMPARE(rec.fileDialogs.size(), std::size_t{1});
        QCOMPARE(rec.fileDialogs[0].first, QStringLiteral("*.bin (binary file) (*.bin);;*.* (*.*)"));
        QCOMPARE(rec.fileDialogs[0].second, QCoreApplication::applicationDirPath());
        QVERIFY(rec.messages.empty());
        QCOMPARE(f.StatusText(), QString());
    }

    void firmwareFromTheDialogOverAPty() {
        TForm1& f = Open();
        const std::string image = TestImage(1000);
        rec.fileAnswer = WriteImage(image);
        const std::string got = OverPty(&Core::Button1Click, FirmwareStream(image).size());
        QCOMPARE(QByteArray::fromStdString(got), QByteArray::fromStdString(FirmwareStream(image)));
        QCOMPARE(f.StatusText(), FirmwareStatus(image));
        QVERIFY(rec.messages.empty());
        QVERIFY(f.frmProgress->isHidden());
        QCOMPARE(f.frmProgress->ggProgress->Progress(), 1000);
        QVERIFY(f.frmProgress->ggProgress->ForeColor() == prax::protocol::kBlue);
        QVERIFY(f.Core().CloseEnabled());
        // Not started from the command line: the window stays.
        QCoreApplication::processEvents();
        QVERIFY(f.frmProgress);
    }

    // --- download-mode firmware, raw file, channel settings -------------------------------------

    void downloadModeAfterItsKeySequenceSendsTheImageAndRunsTheCountdown() {
        TForm1& f = OpenShown();
        QTest::keyClicks(f.Button1, QStringLiteral("qxvmra"));
        const std::string image = TestImage(1000);
        rec.fileAnswer = WriteImage(image);
        const std::string command = "\r\n~~INTERNALCOMMANDU,UPDATADLMODE,1000\r";
        const std::size_t length = 25 + command.size() + 1000 + 2 + 128;
        const std::string got = OverPty([&] { QTest::mouseClick(f.Button2, Qt::LeftButton); }, length);
        QCOMPARE(QByteArray::fromStdString(got.substr(0, 25 + command.size())),
                 QByteArray::fromStdString(std::string(25, '\r') + command));
        QCOMPARE(Decoded(got), (std::vector<std::string>{"wake-up run: 25 CR",
                                                         "download-mode image: size 1000, received 1000, CRC " +
                                                             ModbusHex(image) + " matches",
                                                         "closing ramp: 128 bytes"}));
        QCOMPARE(rec.fileDialogs.at(0).first, QStringLiteral("*.* (*.*)"));
        QCOMPARE(f.StatusText(), QStringLiteral("1000 Bytes"));
        QVERIFY(f.frmProgress->isVisible());
        QVERIFY(f.Timer1->isActive());
        QCOMPARE(f.frmProgress->ggProgress->MaxValue(), 5);
        QVERIFY(f.frmProgress->ggProgress->ForeColor() == prax::protocol::kRed);
        QVERIFY(f.Core().CloseEnabled());

        // A transfer started while the countdown runs takes the dialog over and ends it.
        rec.fileAnswer = WriteImage(TestImage(5));
        QTest::keyClicks(f.Button1, QStringLiteral("zulb"));
        const std::string raw = OverPty([&] { QTest::mouseClick(f.Button9, Qt::LeftButton); }, 5);
        QCOMPARE(QByteArray::fromStdString(raw), QByteArray::fromStdString(TestImage(5)));
        QVERIFY(!f.Timer1->isActive());
        QVERIFY(f.frmProgress->isHidden());
        QVERIFY(f.frmProgress->ggProgress->ForeColor() == prax::protocol::kRed);  // left as it was
        QCOMPARE(f.StatusText(), QStringLiteral("5 Bytes"));
        QCOMPARE(rec.MessageTexts(), QStringList{QStringLiteral("ok")});
    }

    void codeTableFromTheDialogOverAPty() {
        TForm1& f = OpenShown();
        f.cbDownloadTable->setCurrentIndex(25);
        const std::string table = TestImage(1030);
        rec.fileAnswer = WriteImage(table);
        const std::string header = "\r\n~H,TTF_TABLE,Zimage,1030\r";
        const std::string got = OverPty(&Core::Button4Click, header.size() + table.size());
        QCOMPARE(QByteArray::fromStdString(got), QByteArray::fromStdString(header + table));
        QCOMPARE(Decoded(got), std::vector<std::string>{
                                   "code-table download: slot Z, name \"image\", size 1030, received 1030, complete"});
        QCOMPARE(rec.fileDialogs.at(0).first, QStringLiteral("*.bin (Font Code Table) (*.bin);;*.* (*.*)"));
        QCOMPARE(f.StatusText(), QStringLiteral("1030 Bytes"));
        QVERIFY(f.Core().CloseEnabled());
        QVERIFY(f.frmProgress->isHidden());
    }

    void trueTypeFontPickedInTheListOverAPty() {
        TForm1& f = OpenShown();
        f.cbDownloadTTFont->setCurrentIndex(1);
        const std::string name = "Liberation Sans (TrueType)";
        QFile file(QString::fromStdString(prax::protocol::FontFilePath(host, "LiberationSans-Regular.ttf")));
        QVERIFY2(file.open(QIODevice::ReadOnly), "setup installs Liberation Sans");
        const std::string font = file.readAll().toStdString();
        const std::string header = "\r\n~H,TTF,B" + name + "," + std::to_string(font.size()) + "\r";
        OnceFontListActive([&](prax::app::qt::TForm2& list) {
            const auto rows = list.StringGrid1->findItems(QString::fromStdString(name), Qt::MatchExactly);
            QVERIFY(!rows.isEmpty());
            list.StringGrid1->setCurrentCell(rows.front()->row(), 0);
            QCOMPARE(list.Label1->text(), QStringLiteral("Liberation Sans "));
            QTest::mouseClick(list.Button1, Qt::LeftButton);
        });
        const std::string got = OverPty([&] { QTest::mouseClick(f.Button3, Qt::LeftButton); },
                                        header.size() + font.size());
        QCOMPARE(QByteArray::fromStdString(got.substr(0, header.size())), QByteArray::fromStdString(header));
        QCOMPARE(Decoded(got), std::vector<std::string>{"font download: slot B, name \"" + name + "\", size " +
                                                        std::to_string(font.size()) + ", received " +
                                                        std::to_string(font.size()) + ", complete"});
        QVERIFY(got.substr(header.size()) == font);
        QCOMPARE(f.StatusText(), QString::number(font.size()) + QStringLiteral(" Bytes"));
        QCOMPARE(f.frmProgress->ggProgress->MaxValue(), 128);
        QVERIFY(f.frmProgress->isHidden() && f.Form2->isHidden());
        QVERIFY(f.Core().CloseEnabled());
        QVERIFY(!f.Core().Fonts().Chosen());
    }

    // Cancel, the close box, turning to the main window and closing the main window all end the
    // wait with nothing sent: the connection (COM7) can't open, so any attempt would say so.
    void fontListLeftWithoutAChoiceSendsNothing() {
        using Act = std::function<void(TForm1&, prax::app::qt::TForm2&)>;
        const std::vector<std::pair<const char*, Act>> cases = {
            {"cancel", [](TForm1&, prax::app::qt::TForm2& d) { QTest::mouseClick(d.Button2, Qt::LeftButton); }},
            {"close box", [](TForm1&, prax::app::qt::TForm2& d) { d.close(); }},
            {"main window", [](TForm1& f, prax::app::qt::TForm2&) { f.activateWindow(); }},
            {"closing", [](TForm1& f, prax::app::qt::TForm2&) { f.close(); }},
        };
        for (const auto& c : cases) {
            const char* what = c.first;
            const Act& act = c.second;
            rec = Recorder{};
            TForm1& f = OpenShown();
            QVERIFY(QTest::qWaitForWindowActive(&f));
            SelectPort("COM7 115200");
            OnceFontListActive([&](prax::app::qt::TForm2& d) { act(f, d); });
            QTest::mouseClick(f.Button3, Qt::LeftButton);
            QVERIFY2(rec.messages.empty(), what);
            QVERIFY2(!f.Core().Busy() && f.Core().CloseEnabled(), what);
            if (std::string(what) == "main window") {
                // The list stays up; its OK, with no download waiting, sends nothing.
                QVERIFY(f.Form2->isVisible());
                QTest::mouseClick(f.Form2->Button1, Qt::LeftButton);
                QCoreApplication::processEvents();
                QVERIFY(rec.messages.empty());
            }
            if (std::string(what) == "closing") QTRY_VERIFY2(!f.isVisible(), what);
        }
    }

    void channelAndReadToggleButtonsOverAPty() {
        TForm1& f = OpenShown();
        f.Button11->show();
        f.Button13->show();
        const std::string channel = std::string("\x10\x04\r") + "pw=" + prax::protocol::AccessCode() +
                                    "\rchan=25\rhop=0\rtxp0=350\rtxp1=350\rtxp2=350\rtxp3=350\r";
        QCOMPARE(QByteArray::fromStdString(OverPty(&Core::Button11Click, channel.size())),
                 QByteArray::fromStdString(channel));
        QVERIFY(f.Button11->isEnabled());
        QCOMPARE(QByteArray::fromStdString(OverPty(&Core::Button13Click, 6)), QByteArray("\x10\x04\rrl\r"));
        QCOMPARE(f.Button13->text(), QStringLiteral("Stop Read"));
        QCOMPARE(QByteArray::fromStdString(OverPty(&Core::Button13Click, 1)), QByteArray("\r"));
        QCOMPARE(f.Button13->text(), QStringLiteral("continue read"));
        // A port that can't open changes nothing.
        SelectPort("COM7 115200");
        f.Core().Button13Click();
        QCOMPARE(f.Button13->text(), QStringLiteral("continue read"));
        QCOMPARE(rec.MessageTexts(), QStringList{QStringLiteral("Open port failed")});
        QVERIFY(f.Button13->isEnabled());
    }

    void nothingTypedDuringAnOperationReachesTheConnection() {
        TForm1& f = OpenShown();
        SelectPort("COM3 115200");
        QWidget* focusInside = nullptr;
        bool comboEnabledInside = true;
        form->hooks.message = [&](const QString&, const QString&) {
            focusInside = f.focusWidget();
            comboEnabledInside = f.ComboBox1->isEnabled();
            // The operator types on during the transfer, and tries the connection list.
            QTest::keyClicks(f.focusWidget(), QStringLiteral("qxvmra"));
            QTest::keyClicks(f.ComboBox1->lineEdit(), QStringLiteral("LPT1"));
            QTest::keyClick(f.ComboBox1, Qt::Key_Down);
            QTest::mouseClick(f.ComboBox1, Qt::LeftButton);
        };
        f.Core().Button6Click();
        QCOMPARE(focusInside, f.Button1);
        QVERIFY(!comboEnabledInside);
        QVERIFY(f.Button2->isVisible());  // the keys went to the typed-key buffer
        QCOMPARE(f.ComboBox1->currentText(), QStringLiteral("COM3 115200"));
        QCOMPARE(f.Core().SelectedPortCode(), 3);
        QVERIFY(f.ComboBox1->isEnabled());
        QCOMPARE(f.focusWidget(), f.Button1);
    }

    // The real box of a warning: the warning icon, the title, OK, and both lines in full, the
    // second one too long for one line of the box.
    void aWarningIsTheBoxWithTheWarningIconAndBothLines() {
        TForm1& f = OpenShown();
        f.hooks = {};
        const QString text = QStringLiteral(
            "Open port failed\n/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10KZP3X-if00-port0: "
            "Permission denied (you are not in the dialout group: ask for it, then log in again)");
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title, shown;
        bool okOnly = false, fits = false;
        QTimer poll;
        poll.setInterval(1);
        QObject::connect(&poll, &QTimer::timeout, &f, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr) return;
            poll.stop();
            icon = box->icon();
            title = box->windowTitle();
            okOnly = box->standardButtons() == QMessageBox::Ok;
            if (const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
                shown = label->text();
                fits = label->height() >= label->heightForWidth(label->width()) &&
                       label->height() >= 2 * label->fontMetrics().lineSpacing();
            }
            box->button(QMessageBox::Ok)->click();
        });
        poll.start();
        f.ShowWarning(text.toStdString());
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(title, QStringLiteral("PRAX FW Download Tool V1.6"));
        QVERIFY(okOnly);
        QCOMPARE(shown, text);
        QVERIFY(fits);
    }

    // Escape, with the focus anywhere in the window or on the progress dialog, asks whether to
    // stop the transfer; Yes ends it part-way, No lets it run on.
    void escapeAsksWhetherToStopTheTransfer() {
        const struct {
            const char* where;
            int answer;
        } cases[] = {{"Button1", prax::platform::IDYES_},
                     {"ComboBox1", prax::platform::IDYES_},
                     {"frmProgress", prax::platform::IDNO_}};
        const std::string image = TestImage(512 * 40);
        const std::string stream = FirmwareStream(image);
        for (const auto& c : cases) {
            rec = Recorder{};
            TForm1& f = OpenShown();
            QVERIFY(QTest::qWaitForWindowActive(&f));
            rec.fileAnswer = WriteImage(image);
            rec.questionAnswer = c.answer;
            // The real box, as the window system has it: over the main window, active, and the
            // progress dialog (which stays above other windows) out of its way meanwhile.
            f.hooks.question = {};
            bool progressWhenAsked = true, boxActive = false, boxOwned = false;
            QTimer poll;
            poll.setInterval(1);
            QDeadlineTimer activation(5000);
            QObject::connect(&poll, &QTimer::timeout, &f, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (box == nullptr || !box->isVisible()) return;
                boxActive = QApplication::activeWindow() == box;
                if (!boxActive && !activation.hasExpired()) return;
                poll.stop();
                progressWhenAsked = f.frmProgress->isVisible();
                boxOwned = box->parentWidget() == &f && box->isModal();
                rec.questions.push_back({box->windowTitle(), box->text()});
                box->button(c.answer == prax::platform::IDYES_ ? QMessageBox::Yes : QMessageBox::No)->click();
            });
            poll.start();
            prax::testing::Pty pty;
            QVERIFY(pty.ok());
            qputenv("PRAX_COM3", QByteArray::fromStdString(pty.path()));
            pty.StartReading();
            SelectPort("COM3 115200");
            const bool onProgress = qstrcmp(c.where, "frmProgress") == 0;
            QWidget* target = onProgress ? f.frmProgress.data() : f.findChild<QWidget*>(QLatin1String(c.where));
            QVERIFY2(target != nullptr, c.where);
            if (!onProgress) target->setFocus();
            // Pressed between two chunks, as the transfer lets events through.
            QTimer::singleShot(0, &f, [target] { QTest::keyClick(target, Qt::Key_Escape); });
            f.Core().Button1Click();
            const std::string got = c.answer == prax::platform::IDYES_ ? pty.Received() + pty.Drain(0)
                                                                      : pty.WaitFor(stream.size(), 10000);
            pty.StopReading();
            QCOMPARE(rec.questions.size(), std::size_t{1});
            QCOMPARE(rec.questions[0].text, QStringLiteral("Stop the transfer?"));
            QVERIFY2(!progressWhenAsked && boxActive && boxOwned, c.where);
            QVERIFY(f.TypedKeys().isEmpty());
            QCOMPARE(got.size() < stream.size(), c.answer == prax::platform::IDYES_);
            QCOMPARE(QByteArray::fromStdString(got), QByteArray::fromStdString(stream.substr(0, got.size())));
            QVERIFY(f.frmProgress->isHidden());
            QVERIFY(!f.Core().Busy());
            form.reset();
        }
    }

    void linkQuestionsGoThroughTheWindow() {
        TForm1& f = Open();
        Q_UNUSED(f);
        rec.questionAnswer = prax::platform::IDYES_;
        const int answer = host.MessageBoxA("Retry again?", "Time-out",
                                            prax::platform::MB_YESNO_ |
                                                prax::platform::MB_ICONEXCLAMATION_);
        QCOMPARE(answer, prax::platform::IDYES_);
        QCOMPARE(rec.questions.size(), std::size_t{1});
        QCOMPARE(rec.questions[0].caption, QStringLiteral("Time-out"));
        QCOMPARE(rec.questions[0].text, QStringLiteral("Retry again?"));
    }

    void closingDuringAContinueSeriesEndsIt() {
        TForm1& f = OpenShown();
        const std::string image = TestImage(64 * 40);
        rec.fileAnswer = WriteImage(image);
        prax::testing::Pty pty;
        QVERIFY(pty.ok());
        qputenv("PRAX_COM3", QByteArray::fromStdString(pty.path()));
        pty.StartReading();
        SelectPort("COM3 115200");
        bool closedAtOnce = true;
        bool stopAsked = false;
        int answer = 0;
        // The operator closes the window while the first pass runs.
        QTimer::singleShot(0, &f, [&] {
            closedAtOnce = f.close();
            stopAsked = f.Core().StopRequested();
            // A series that went on regardless would find no port, rather than run for ever.
            qputenv("PRAX_COM3", "/nonexistent/tty");
            answer = host.MessageBoxA("Continue ?", "", prax::platform::MB_YESNO_);
        });
        f.Core().Button5Click();
        pty.StopReading();
        const std::string got = pty.Received() + pty.Drain(0);
        QVERIFY(!closedAtOnce);
        QVERIFY(stopAsked);
        QCOMPARE(answer, prax::platform::IDNO_);  // answered without a box
        QVERIFY(rec.questions.empty());
        QCOMPARE(rec.MessageTexts(), QStringList());
        QVERIFY(rec.errors.empty());
        // Part of the first pass only, and no second printer started.
        const std::string stream = FirmwareStream(image);
        QVERIFY(got.size() < stream.size());
        QCOMPARE(QByteArray::fromStdString(got),
                 QByteArray::fromStdString(stream.substr(0, got.size())));
        // The close completes once the series has unwound.
        QVERIFY(f.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!f.isVisible(), 5000);
        QVERIFY(f.frmProgress.isNull());
    }

    // --- command-line mode --------------------------------------------------------------------

    void twoArgumentsSelectTheConnectionIgnoringCase() {
        const QString image = WriteImage(TestImage(100));
        TForm1& f = Open({image, QStringLiteral("com7 115200")});
        QVERIFY(f.Core().CommandLineMode());
        QCOMPARE(f.ComboBox1->currentIndex(), 8);
        QCOMPARE(f.Core().SelectedPortCode(), 7);
        QVERIFY(rec.fileDialogs.empty());
        QCOMPARE(rec.MessageTexts(), QStringList{QStringLiteral("Open port failed")});
        // A failed download leaves the program running.
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        QVERIFY(f.frmProgress);
    }

    void commandLineDownloadEndsTheProgram() {
        const std::string image = TestImage(1000);
        const QString path = WriteImage(image);
        prax::testing::Pty pty;
        QVERIFY(pty.ok());
        qputenv("PRAX_COM3", QByteArray::fromStdString(pty.path()));
        pty.StartReading();
        TForm1& f = Open({path, QStringLiteral("COM3 115200")});
        // The whole transfer ran inside creation, before the window was ever shown.
        QVERIFY(!f.isVisible());
        const std::string expected = FirmwareStream(image);
        const std::string got = pty.WaitFor(expected.size(), 10000);
        pty.StopReading();
        QCOMPARE(QByteArray::fromStdString(got), QByteArray::fromStdString(expected));
        QVERIFY(rec.messages.empty());
        QVERIFY(rec.fileDialogs.empty());
        QCOMPARE(f.StatusText(), FirmwareStatus(image));
        // The close request waits for the event loop, then the window closes.
        QVERIFY(f.frmProgress);
        QTRY_VERIFY_WITH_TIMEOUT(f.frmProgress.isNull(), 5000);
    }

    void laterPressesSendTheFirstArgumentAgain() {
        const std::string image = TestImage(600);
        const QString path = WriteImage(image);
        qputenv("PRAX_COM5", "/nonexistent/tty");
        TForm1& f = Open({path, QStringLiteral("COM5 115200")});
        QCOMPARE(rec.MessageTexts(), QStringList{QStringLiteral("Open port failed")});
        f.show();

        prax::testing::Pty pty;
        QVERIFY(pty.ok());
        qputenv("PRAX_COM5", QByteArray::fromStdString(pty.path()));
        pty.StartReading();
        QTest::mouseClick(f.Button1, Qt::LeftButton);
        const std::string expected = FirmwareStream(image);
        const std::string got = pty.WaitFor(expected.size(), 10000);
        pty.StopReading();
        QCOMPARE(QByteArray::fromStdString(got), QByteArray::fromStdString(expected));
        QVERIFY(rec.fileDialogs.empty());
        QTRY_VERIFY_WITH_TIMEOUT(!f.isVisible(), 5000);
        QVERIFY(f.frmProgress.isNull());
        qunsetenv("PRAX_COM5");
    }

    // --- helpers ------------------------------------------------------------------------------

    void windowsFiltersBecomeQtFilters() {
        QCOMPARE(prax::app::qt::QtFileFilter("*.bin (binary file)|*.bin|*.* |*.*"),
                 QStringLiteral("*.bin (binary file) (*.bin);;*.* (*.*)"));
        QCOMPARE(prax::app::qt::QtFileFilter("Fonts|*.ttf"), QStringLiteral("Fonts (*.ttf)"));
        QCOMPARE(prax::app::qt::QtFileFilter(""), QString());
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    MainWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MainWindowTest.moc"
