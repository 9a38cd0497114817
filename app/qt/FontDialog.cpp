#include "app/qt/FontDialog.h"

#include <algorithm>

#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTableWidgetItem>

#include "app/qt/Desktop.h"

namespace prax::app::qt {

namespace {

QString Display(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }

QFont NamedFont(const QFont& base, int pixels) {
    QFont font = base;
    font.setFamily(QString::fromLatin1(app::fontdialog::kFace));
    font.setPixelSize(pixels);
    return font;
}

void SetCell(QTableWidget* grid, int row, int column, const std::string& text) {
    auto* item = new QTableWidgetItem(Display(text));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    grid->setItem(row, column, item);
}

}  // namespace

TForm2::TForm2(FontChooser& chooser, QWidget* parent)
    : QWidget(parent, Qt::Window), chooser_(chooser) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QString::fromLatin1(app::fontdialog::kCaption));
    setWindowModality(Qt::NonModal);
    setFont(NamedFont(font(), app::fontdialog::kFontPixels));
    // The button face of whatever theme is in use, also one changed while the program runs.
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    // Before the window is on screen its frame is unknown; the first activation corrects for it.
    resize(kOuterWidth, kOuterHeight);

    StringGrid1 = new QTableWidget(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setColumnCount(3);
    StringGrid1->setRowCount(1);
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    // The headings stay hidden: the grid's own lines are the handles (eventFilter).
    StringGrid1->horizontalHeader()->setMinimumSectionSize(GridSizing::kMinSize);
    StringGrid1->verticalHeader()->setMinimumSectionSize(GridSizing::kMinSize);
    StringGrid1->viewport()->setMouseTracking(true);
    StringGrid1->viewport()->installEventFilter(this);
    StringGrid1->setShowGrid(true);
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab and Shift+Tab go on to the buttons and back, as in any window; the arrow keys move the
    // row. Tab stepping through the cells would move the row that OK hands over unseen.
    StringGrid1->setTabKeyNavigation(false);
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    for (int c = 0; c < 3; ++c) StringGrid1->setColumnWidth(c, app::fontdialog::kColumnWidthBeforeFill);
    {
        // The grid starts on its first row, as OK expects, without a preview of it yet.
        const QSignalBlocker quiet(StringGrid1);
        StringGrid1->setCurrentCell(0, 0);
    }
    connect(StringGrid1, &QTableWidget::currentCellChanged, this,
            [this](int row, int column, int, int) {
                if (row < 0) return;
                bool canSelect = true;
                StringGrid1SelectCell(column, row, canSelect);
            });

    EmptyListNotice = new QLabel(StringGrid1->viewport());
    EmptyListNotice->setObjectName(QStringLiteral("EmptyListNotice"));
    EmptyListNotice->setWordWrap(true);
    EmptyListNotice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    EmptyListNotice->setForegroundRole(QPalette::PlaceholderText);
    // The grid's mouse goes on to the grid beneath.
    EmptyListNotice->setAttribute(Qt::WA_TransparentForMouseEvents);
    EmptyListNotice->hide();

    GroupBox1 = new QGroupBox(QString::fromLatin1(app::fontdialog::kGroupCaption), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));

    Label1 = new QLabel(GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(NamedFont(font(), app::fontdialog::kPreviewPixels));
    Label1->setWordWrap(false);

    Button1 = new QPushButton(QString::fromLatin1(app::fontdialog::kOkCaption), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button2 = new QPushButton(QString::fromLatin1(app::fontdialog::kCancelCaption), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    for (QPushButton* button : {Button1, Button2}) {
        button->setFont(NamedFont(font(), app::fontdialog::kButtonPixels));
        // Enter and Escape press neither: a stray key must not make or drop the choice.
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    ApplyGeometry();
}

void TForm2::ApplyGeometry() {
    StringGrid1->setGeometry(QtRect(app::fontdialog::kGrid));
    GroupBox1->setGeometry(QtRect(app::fontdialog::kGroupBox));
    Label1->setGeometry(QtRect(app::fontdialog::kPreview));
    Button1->setGeometry(QtRect(app::fontdialog::kOk));
    Button2->setGeometry(QtRect(app::fontdialog::kCancel));
}

void TForm2::Preview(int row) {
    const protocol::FontPreview preview = chooser_.Preview(row);
    Label1->setText(Display(preview.caption));
    if (preview.face.empty()) return;
    QFont font = Label1->font();
    font.setFamily(Display(preview.face));
    font.setPixelSize(app::fontdialog::kPreviewPixels);
    Label1->setFont(font);
}

void TForm2::StringGrid1SelectCell(int, int ARow, bool& CanSelect) {
    Preview(ARow);
    CanSelect = true;
}

void TForm2::FormShow() { Preview(StringGrid1->currentRow()); }

void TForm2::FormActivate() {
    if (!outerSizeSet_) {
        // Now the frame is known: the whole window, frame included, gets its stored size.
        const QSize frame = frameGeometry().size() - size();
        resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
        outerSizeSet_ = true;
    }
    ApplyGeometry();
}

void TForm2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormShow();
}

void TForm2::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

std::vector<GridSizing::Line> TForm2::ColumnLines() const {
    std::vector<GridSizing::Line> lines;
    for (int c = 0; c < StringGrid1->columnCount(); ++c) {
        const int width = StringGrid1->columnWidth(c);
        lines.push_back({StringGrid1->columnViewportPosition(c) + width - 1, c, width});
    }
    return lines;
}

std::vector<GridSizing::Line> TForm2::RowLines() const {
    // The rows on screen only: a long list has thousands.
    std::vector<GridSizing::Line> lines;
    const int height = StringGrid1->viewport()->height();
    for (int r = std::max(0, StringGrid1->rowAt(0)); r >= 0 && r < StringGrid1->rowCount(); ++r) {
        const int top = StringGrid1->rowViewportPosition(r);
        if (top > height) break;
        const int size = StringGrid1->rowHeight(r);
        lines.push_back({top + size - 1, r, size});
    }
    return lines;
}

bool TForm2::eventFilter(QObject* watched, QEvent* event) {
    if (watched != StringGrid1->viewport()) return QWidget::eventFilter(watched, event);
    const auto type = event->type();
    if (type == QEvent::Resize) PlaceNotice();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint at = mouse->position().toPoint();
    QWidget* viewport = StringGrid1->viewport();
    if (sizing_.Dragging()) {
        const int size = sizing_.SizeAt(at.x(), at.y());
        const int index = sizing_.Dragged().index;
        if (sizing_.Dragged().axis == GridSizing::Axis::Column) StringGrid1->setColumnWidth(index, size);
        else StringGrid1->setRowHeight(index, size);
        if (type == QEvent::MouseButtonRelease) sizing_.Release();
        PlaceNotice();
        return true;
    }
    if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) &&
        mouse->button() == Qt::LeftButton && sizing_.Press(ColumnLines(), RowLines(), at.x(), at.y()))
        return true;  // a line taken: no row is selected by it
    if (type == QEvent::MouseMove) {
        const GridSizing::Target over = GridSizing::HitTest(ColumnLines(), RowLines(), at.x(), at.y());
        if (over.axis == GridSizing::Axis::Column) viewport->setCursor(Qt::SplitHCursor);
        else if (over.axis == GridSizing::Axis::Row) viewport->setCursor(Qt::SplitVCursor);
        else viewport->unsetCursor();
    }
    return false;
}

void TForm2::PlaceNotice() {
    if (!EmptyListNotice->isVisibleTo(StringGrid1)) return;
    // Under the empty row, as wide as the grid shows.
    constexpr int kMargin = 6;
    const QSize area = StringGrid1->viewport()->size();
    const int top = StringGrid1->rowViewportPosition(0) + StringGrid1->rowHeight(0) + kMargin;
    EmptyListNotice->setGeometry(kMargin, top, std::max(0, area.width() - 2 * kMargin),
                                 std::max(0, area.height() - top - kMargin));
}

void TForm2::DrawRows() {
    const int rows = chooser_.RowCount();
    if (StringGrid1->rowCount() < rows) StringGrid1->setRowCount(rows);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < FontChooser::kColumns; ++c) SetCell(StringGrid1, r, c, chooser_.Cell(r, c));
        const std::string problem = chooser_.Problem(r);
        if (!problem.empty()) {
            // Listed, greyed, and saying why: choosing it ends in that message, nothing sent.
            for (int c = 0; c < FontChooser::kColumns; ++c) {
                QTableWidgetItem* item = StringGrid1->item(r, c);
                item->setForeground(palette().brush(QPalette::Disabled, QPalette::Text));
                item->setToolTip(Display(problem));
            }
        }
    }
    for (int c = 0; c < 3; ++c) StringGrid1->setColumnWidth(c, app::fontdialog::kColumnWidths[c]);
    {
        // Cutting the grid down moves its current row without a selection by the operator:
        // the preview stays as it is.
        const QSignalBlocker quiet(StringGrid1);
        StringGrid1->setRowCount(std::max(rows, 1));
        if (StringGrid1->currentRow() < 0) StringGrid1->setCurrentCell(0, 0);
    }
    const std::string& notice = chooser_.EmptyListNotice();
    EmptyListNotice->setText(Display(notice));
    EmptyListNotice->setVisible(!notice.empty());
    PlaceNotice();
}

void TForm2::Button1Click() {
    chooser_.Choose(StringGrid1->currentRow());
    close();
}

void TForm2::Button2Click() {
    chooser_.Cancel();
    close();
}

}  // namespace prax::app::qt
