#include "app/qt/FormWidgets.h"

#include <algorithm>
#include <string_view>
#include <type_traits>

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


namespace prax::app::qt {

namespace {

const QColor kRed(255, 0, 0);

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::ButtonText, colour);
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

// The list's own current entry follows a typed text as the core reads it (TForm1::SelectedIndex):
// the entry the text names, letter case ignored, or none, so the drop-down opens on the entry in
// use. The text itself stays as the operator typed it.
void FollowTypedText(QComboBox* combo, ControlId id, const QString& text) {
    const int index = FindItem(id, text.toLocal8Bit().toStdString());
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
    QStringList families;
    for (const char* face : LayoutFaces()) families << QString::fromLatin1(face);
    return families;
}

QFont LayoutFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(LayoutFamilies());
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void FormWidgets::BuildWidgets(QMainWindow& form) {
    form_ = &form;
    form.setObjectName(QStringLiteral("Form1"));
    form.setWindowTitle(QString::fromLatin1(kLayoutCaption));
    form.setFont(LayoutFont(kWindowFontPixels));

    auto* client = new QWidget(&form);
    client->setObjectName(QStringLiteral("Form1Client"));
    // The button face behind every control, and the palette's own text colours in front of it,
    // so the captions stay readable under a dark desktop theme, and follow a theme changed while
    // the program runs. Where the layout says black it means the system's text colour, which is
    // black on a light theme.
    client->setAutoFillBackground(true);
    client->setBackgroundRole(QPalette::Button);
    form.setCentralWidget(client);

    for (const ControlEntry& entry : Controls()) {
        QWidget* widget = MakeWidget(entry, *client);
        widget->setObjectName(QString::fromLatin1(entry.name));
        if (entry.kind != ControlKind::Label && entry.kind != ControlKind::StatusBar)
            widget->setFont(LayoutFont(entry.font.pixels, entry.font.bold));
        // Black and the window's colour are both the palette's text colour; only red is fixed.
        if (entry.font.colour == TextColour::Red) SetTextColour(widget, kRed);
        widget->setVisible(entry.visible);
        widgets_[Index(entry.id)] = widget;
    }
    NameWidgets();

    Timer1 = new QTimer(&form);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kTimer1Interval);

    const std::vector<QWidget*> order = TabOrder();
    for (std::size_t i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    // First in the order, so it starts with the focus.
    Button1->setFocus(Qt::OtherFocusReason);
}

QWidget* FormWidgets::MakeWidget(const ControlEntry& entry, QWidget& client) {
    const QString caption = QString::fromLatin1(entry.caption);
    const QRect geometry(entry.geometry.left, entry.geometry.top, entry.geometry.width,
                         entry.geometry.height);
    switch (entry.kind) {
        case ControlKind::Button: {
            auto* button = new QPushButton(caption, &client);
            button->setGeometry(geometry);
            buttons_.push_back(button);
            return button;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(caption, &client);
            // Drawn on the button face, so in the colour meant for it.
            label->setForegroundRole(QPalette::ButtonText);
            label->setFont(LayoutFont(entry.font.pixels, entry.font.bold));
            // Labels size themselves to their text; the given box is the least they take.
            const QSize needed = label->sizeHint();
            label->setGeometry(geometry.x(), geometry.y(),
                               std::max(geometry.width(), needed.width()),
                               std::max(geometry.height(), needed.height()));
            return label;
        }
        case ControlKind::ComboBox: {
            auto* combo = new QComboBox(&client);
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
            // No completion: the entry in use must be exactly the text the operator sees.
            combo->setCompleter(nullptr);
            for (const char* item : entry.items) combo->addItem(QString::fromLatin1(item));
            combo->setCurrentIndex(entry.selected);
            combo->setGeometry(geometry);
            const ControlId id = entry.id;
            QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, combo,
                             [combo, id](const QString& text) { FollowTypedText(combo, id, text); });
            return combo;
        }
        case ControlKind::Memo: {
            auto* memo = new QPlainTextEdit(&client);
            memo->setGeometry(geometry);
            memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            return memo;
        }
        case ControlKind::StatusBar: {
            auto* bar = new QStatusBar(form_);
            bar->setFixedHeight(entry.geometry.height);
            // One simple text across the whole bar; a label keeps it even where something
            // would post a passing status tip.
            StatusBar1Text = new QLabel(bar);
            StatusBar1Text->setObjectName(QStringLiteral("StatusBar1SimpleText"));
            bar->addWidget(StatusBar1Text, 1);
            form_->setStatusBar(bar);
            return bar;
        }
    }
    return nullptr;
}

void FormWidgets::NameWidgets() {
    const auto as = [this](auto*& member, ControlId id) {
        member = static_cast<std::remove_reference_t<decltype(member)>>(Widget(id));
    };
    as(Button1, ControlId::Button1);
    as(Button2, ControlId::Button2);
    as(Button3, ControlId::Button3);
    as(Button4, ControlId::Button4);
    as(Button5, ControlId::Button5);
    as(Button6, ControlId::Button6);
    as(Button7, ControlId::Button7);
    as(Button8, ControlId::Button8);
    as(Button9, ControlId::Button9);
    as(Button10, ControlId::Button10);
    as(Button11, ControlId::Button11);
    as(Button12, ControlId::Button12);
    as(Button13, ControlId::Button13);
    as(Button14, ControlId::Button14);
    as(Button15, ControlId::Button15);
    as(SendButton, ControlId::SendButton);
    as(Btn_WakeUpFw, ControlId::Btn_WakeUpFw);
    as(Btn_DownloadBootLoader, ControlId::Btn_DownloadBootLoader);
    as(Label1, ControlId::Label1);
    as(Label2, ControlId::Label2);
    as(Label3, ControlId::Label3);
    as(Label4, ControlId::Label4);
    as(Label5, ControlId::Label5);
    as(Label6, ControlId::Label6);
    as(Label7, ControlId::Label7);
    as(Label8, ControlId::Label8);
    as(ComboBox1, ControlId::ComboBox1);
    as(cbDownloadTTFont, ControlId::cbDownloadTTFont);
    as(cbDownloadTable, ControlId::cbDownloadTable);
    as(Combo_delay01, ControlId::Combo_delay01);
    as(Combo_delay02, ControlId::Combo_delay02);
    as(Combo_delay03, ControlId::Combo_delay03);
    as(Combo_size, ControlId::Combo_size);
    as(Memo1, ControlId::Memo1);
    as(StatusBar1, ControlId::StatusBar1);
}

std::vector<QWidget*> FormWidgets::TabOrder() const {
    std::vector<QWidget*> order;
    for (ControlId id : app::TabOrder()) order.push_back(Widget(id));
    return order;
}

QFileDialog* FormWidgets::dlOpenBin() {
    if (!openDialog_) {
        openDialog_ = new QFileDialog(form_);
        openDialog_->setObjectName(QStringLiteral("dlOpenBin"));
        openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
        // Any name may be typed and accepted: one that does not exist is reported by the
        // operation when it reads the file, as any file it cannot read.
        openDialog_->setFileMode(QFileDialog::AnyFile);
    }
    return openDialog_;
}

QFontDialog* FormWidgets::dlFont() {
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

}  // namespace prax::app::qt
