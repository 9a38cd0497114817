#include "app/Layout.h"

#include <algorithm>
#include <string_view>

#include <QComboBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "protocol/Connections.h"

namespace prax::app {

namespace {

const QColor kBlack(0, 0, 0);
const QColor kRed(255, 0, 0);

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

QStringList SlotNames() {
    QStringList names;
    for (char c = 'A'; c <= 'Z'; ++c) names << QStringLiteral("T") + QLatin1Char(c);
    return names;
}

QStringList ConnectionNames() {
    QStringList names;
    for (std::string_view name : protocol::kConnectionNames)
        names << QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
    return names;
}

// A typed text selects the entry it names (letter case ignored, as for the command line) and
// selects nothing when it names none, so an operation reading the index sees -1 then. The text
// itself stays as the operator typed it.
void FollowTypedText(QComboBox* combo, const QString& text) {
    const int index = combo->findText(text, Qt::MatchFixedString);
    if (index == combo->currentIndex()) return;
    QLineEdit* edit = combo->lineEdit();
    const int cursor = edit->cursorPosition();
    combo->setCurrentIndex(index);
    if (edit->text() != text) {
        edit->setText(text);
        edit->setCursorPosition(cursor);
    }
}

}  // namespace

QStringList LayoutFamilies() {
    // Liberation Sans has Arial's metrics and fits every caption at these sizes. Without it,
    // DejaVu Sans Condensed comes nearest (only "Download DL Firmware" runs two pixels over);
    // plain DejaVu Sans, the usual default, is too wide for the 15-pixel bold captions. Tahoma
    // is left out: it too runs over on "Download DL Firmware".
    return {QStringLiteral("MS Sans Serif"),         QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("Arial"),                 QStringLiteral("Liberation Sans"),
            QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")};
}

QFont LayoutFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(LayoutFamilies());
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void TForm1Layout::BuildLayout(QMainWindow& form) {
    form_ = &form;
    form.setObjectName(QStringLiteral("Form1"));
    form.setWindowTitle(QStringLiteral("KAVL Download Tool  1.7.0.0g"));
    form.setFont(LayoutFont(10));

    auto* client = new QWidget(&form);
    client->setObjectName(QStringLiteral("Form1Client"));
    client->setAutoFillBackground(true);
    QPalette face = client->palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    client->setPalette(face);
    // Black text throughout, unless a control says otherwise.
    SetTextColour(client, kBlack);
    form.setCentralWidget(client);

    struct Button {
        QPushButton*& member;
        const char* name;
        const char* caption;
        QRect geometry;
        int pixels;
        bool bold;
        const QColor* colour;  // null: the window's
        bool visible;
    };
    auto button = [&](const Button& b) {
        b.member = new QPushButton(QString::fromLatin1(b.caption), client);
        b.member->setObjectName(QString::fromLatin1(b.name));
        b.member->setGeometry(b.geometry);
        b.member->setFont(LayoutFont(b.pixels, b.bold));
        if (b.colour) SetTextColour(b.member, *b.colour);
        b.member->setVisible(b.visible);
        buttons_.push_back(b.member);
    };
    auto label = [&](QLabel*& member, const char* name, const char* caption, QRect geometry,
                     bool visible) {
        member = new QLabel(QString::fromLatin1(caption), client);
        member->setObjectName(QString::fromLatin1(name));
        member->setFont(LayoutFont(15));
        // Labels size themselves to their text, as the layout's labels do; the given box is
        // the least they take.
        const QSize needed = member->sizeHint();
        member->setGeometry(geometry.x(), geometry.y(), std::max(geometry.width(), needed.width()),
                            std::max(geometry.height(), needed.height()));
        member->setVisible(visible);
    };
    auto list = [&](QComboBox*& member, const char* name, const QStringList& items, int selected,
                    QRect geometry, bool visible) {
        member = new QComboBox(client);
        member->setObjectName(QString::fromLatin1(name));
        member->setEditable(true);
        member->setInsertPolicy(QComboBox::NoInsert);
        // No completion: the entry in use must be exactly the text the operator sees.
        member->setCompleter(nullptr);
        member->addItems(items);
        member->setCurrentIndex(selected);
        member->setGeometry(geometry);
        member->setFont(LayoutFont(10));
        QComboBox* combo = member;
        QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, combo,
                         [combo](const QString& text) { FollowTypedText(combo, text); });
        member->setVisible(visible);
    };

    // Made before Button1, so that the button lies over it and hides it.
    label(Label8, "Label8", "Input Command", {8, 15, 93, 16}, true);

    // The operator panel.
    button({Button1, "Button1", "Download Firmware", {0, 11, 177, 33}, 15, true, &kBlack, true});
    button({Button3, "Button3", "Download True Type Font", {0, 54, 177, 33}, 11, true, nullptr,
            true});
    button({Button14, "Button14", "Initialize the Printer", {0, 96, 177, 33}, 11, true, &kBlack,
            true});
    label(Label1, "Label1", "Connection Port", {182, 7, 94, 16}, true);
    list(ComboBox1, "ComboBox1", ConnectionNames(), 0, {181, 24, 119, 21}, true);
    label(Label2, "Label2", "Font  Number", {182, 51, 80, 16}, true);
    list(cbDownloadTTFont, "cbDownloadTTFont", SlotNames(), 0, {182, 67, 118, 21}, true);

    // Service buttons, hidden; the key sequences typed into Button1 reveal a few of them.
    const Button service[] = {
        {Button2, "Button2", "Download DL Firmware", {0, 135, 176, 32}, 15, true, nullptr, false},
        {Button4, "Button4", "Download Font Code Table", {0, 211, 176, 33}, 11, true, nullptr,
         false},
        {Button5, "Button5", "Continue", {0, 182, 98, 14}, 11, true, &kRed, false},
        {Button6, "Button6", "Button6", {0, 202, 59, 13}, 10, false, nullptr, false},
        {Button7, "Button7", "Button7", {65, 202, 59, 13}, 10, false, nullptr, false},
        {Button8, "Button8", "Change Mode", {182, 143, 118, 33}, 15, true, nullptr, false},
        {Button9, "Button9", "Download Binary File", {0, 170, 176, 33}, 15, true, &kBlack, false},
        {Button10, "Button10", "Channel00", {0, 245, 66, 27}, 10, false, nullptr, false},
        {Button11, "Button11", "Channel25", {72, 245, 65, 27}, 10, false, nullptr, false},
        {Button12, "Button12", "Channel49", {143, 245, 66, 27}, 10, false, nullptr, false},
        {Button13, "Button13", "continue read", {221, 117, 72, 27}, 10, false, nullptr, false},
        {SendButton, "SendButton", "SEND", {182, 111, 118, 33}, 10, false, nullptr, false},
        {Button15, "Button15", "Initializing the Cutter", {408, 210, 177, 33}, 11, true, &kBlack,
         false},
        {Btn_WakeUpFw, "Btn_WakeUpFw", "Wake Up Firmware", {456, 47, 176, 32}, 15, true, nullptr,
         false},
        {Btn_DownloadBootLoader, "Btn_DownloadBootLoader", "Download DL Firmware",
         {456, 7, 176, 32}, 15, true, nullptr, false},
    };
    for (const Button& b : service) button(b);

    // Service settings, hidden.
    label(Label3, "Label3", "Table Number", {182, 96, 87, 16}, false);
    list(cbDownloadTable, "cbDownloadTable", SlotNames(), 0, {182, 112, 118, 21}, false);
    label(Label4, "Label4", "command delay", {319, 6, 97, 16}, false);
    list(Combo_delay01, "Combo_delay01", {"0", "10", "50", "100", "200", "500"}, 0,
         {319, 23, 72, 21}, false);
    label(Label5, "Label5", "wait delay", {319, 51, 60, 16}, false);
    list(Combo_delay02, "Combo_delay02", {"0", "50", "100", "500", "1000", "2000"}, 0,
         {319, 67, 72, 21}, false);
    label(Label7, "Label7", "package delay", {319, 97, 91, 16}, false);
    list(Combo_delay03, "Combo_delay03", {"0", "2", "5", "10", "20", "50", "100"}, 0,
         {319, 112, 72, 21}, false);
    label(Label6, "Label6", "package size", {319, 142, 81, 16}, false);
    list(Combo_size, "Combo_size", {"4", "8", "16", "32", "64", "128", "256", "512", "1024"}, 7,
         {319, 158, 72, 21}, false);

    Memo1 = new QPlainTextEdit(client);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setGeometry(247, 176, 169, 120);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Memo1->setVisible(false);

    StatusBar1 = new QStatusBar(&form);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(20);
    // One simple text across the whole bar; a label keeps it even where something would post
    // a passing status tip.
    StatusBar1Text = new QLabel(StatusBar1);
    StatusBar1Text->setObjectName(QStringLiteral("StatusBar1SimpleText"));
    StatusBar1->addWidget(StatusBar1Text, 1);
    form.setStatusBar(StatusBar1);

    Timer1 = new QTimer(&form);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(2000);

    const std::vector<QWidget*> order = TabOrder();
    for (std::size_t i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    // First in the order, so it starts with the focus.
    Button1->setFocus(Qt::OtherFocusReason);
}

std::vector<QWidget*> TForm1Layout::TabOrder() const {
    return {Button1,       Button2,       Button3,          Button4,         ComboBox1,
            cbDownloadTTFont, cbDownloadTable, Button5,     Button6,         Button7,
            Combo_delay01, Combo_delay02, Combo_size,       Combo_delay03,   Button8,
            Button9,       Button10,      Button11,         Button12,        Button13,
            Memo1,         SendButton,    Button14,         Button15,        Btn_WakeUpFw,
            Btn_DownloadBootLoader};
}

QFileDialog* TForm1Layout::dlOpenBin() {
    if (!openDialog_) {
        openDialog_ = new QFileDialog(form_);
        openDialog_->setObjectName(QStringLiteral("dlOpenBin"));
        openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
        openDialog_->setFileMode(QFileDialog::ExistingFile);
    }
    return openDialog_;
}

QFontDialog* TForm1Layout::dlFont() {
    if (!fontDialog_) {
        fontDialog_ = new QFontDialog(LayoutFont(11), form_);
        fontDialog_->setObjectName(QStringLiteral("dlFont"));
        // Scalable faces only. The other settings it was drawn with (only existing faces,
        // nothing preselected, no simulated styles, no vector faces, a limited size range) have
        // no counterpart in Qt's font dialog.
        fontDialog_->setOptions(QFontDialog::ScalableFonts);
    }
    return fontDialog_;
}

}  // namespace prax::app
