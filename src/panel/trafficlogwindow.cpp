#include "panel/trafficlogwindow.h"

#include "panel/messagebox.h"
#include "panel/trafficmodel.h"
#include "settings/inifile.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

namespace lumavera {

namespace {

// Room left for the frame a window manager draws around the window.
constexpr int FrameAllowance = 32;

} // namespace

TrafficLogWindow::TrafficLogWindow(TrafficModel *traffic, QWidget *owner)
    : QWidget(owner, Qt::Window), model(traffic)
{
    setObjectName(QStringLiteral("frmLog"));
    setWindowTitle(tr("Lumavera \u2014 Traffic Log"));

    lstTraffic = new QTableView(this);
    lstTraffic->setObjectName(QStringLiteral("lstTraffic"));
    lstTraffic->setModel(model);
    lstTraffic->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lstTraffic->setSelectionBehavior(QAbstractItemView::SelectRows);
    lstTraffic->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstTraffic->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstTraffic->setWordWrap(false);
    lstTraffic->setShowGrid(false);
    lstTraffic->setAlternatingRowColors(true);
    lstTraffic->verticalHeader()->hide();
    // One fixed row height: the view then never measures rows one by one.
    lstTraffic->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lstTraffic->verticalHeader()->setDefaultSectionSize(lstTraffic->fontMetrics().height() + 4);
    QHeaderView *columns = lstTraffic->horizontalHeader();
    const int digit = lstTraffic->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    // The meaning whole at the window's first size; the hex elides, with
    // all of it in the tooltip; every column can be resized.
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->resizeSection(TrafficModel::Time, digit * 14);
    columns->resizeSection(TrafficModel::Direction, digit * 11);
    columns->resizeSection(TrafficModel::Meaning, digit * 46);
    columns->resizeSection(TrafficModel::Hex, digit * 30);
    columns->setStretchLastSection(true);
    // Wide enough at first for every column, an answer's 35 bytes as text
    // between bars included, whatever the font and style measure.
    int rowWidth = digit * 37 + 2 * lstTraffic->frameWidth() +
                   lstTraffic->verticalScrollBar()->sizeHint().width();
    for (int column = TrafficModel::Time; column < TrafficModel::Ascii; ++column)
        rowWidth += columns->sectionSize(column);
    lstTraffic->setTextElideMode(Qt::ElideRight);
    lstTraffic->installEventFilter(this);
    lstTraffic->setAccessibleName(tr("Traffic"));

    auto *label = new QLabel(tr("&Time:"), this);
    cboTime = new QComboBox(this);
    cboTime->setObjectName(QStringLiteral("cboTime"));
    cboTime->addItem(tr("ms since connected"));
    cboTime->addItem(tr("wall clock"));
    label->setBuddy(cboTime);
    cmdClear = new QPushButton(tr("&Clear"), this);
    cmdClear->setObjectName(QStringLiteral("cmdClear"));
    cmdSave = new QPushButton(tr("&Save\u2026"), this);
    cmdSave->setObjectName(QStringLiteral("cmdSave"));

    auto *bar = new QHBoxLayout;
    bar->addWidget(label);
    bar->addWidget(cboTime);
    bar->addStretch();
    bar->addWidget(cmdClear);
    bar->addWidget(cmdSave);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(lstTraffic);
    const QMargins margins = layout->contentsMargins();
    const int needed = rowWidth + margins.left() + margins.right();
    int width = std::max(980, needed);
    // The first size fits the screen the window opens on, its frame
    // included. What the columns would want beyond that comes off the hex
    // first (it elides and has all of it in its tooltip), then off the
    // time's and the direction's room to spare, last off the meaning.
    const QScreen *screen = owner ? owner->screen() : this->screen();
    const int room = screen ? screen->availableGeometry().width() - FrameAllowance : width;
    int over = needed - room;
    // What each column cannot do without: the hex its heading (as the
    // header draws it, bold where the style says so), the time and the
    // direction their longest text, the meaning a few words.
    QFont heading = columns->font();
    heading.setBold(true);
    const int margin = 2 * columns->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, columns);
    // A cell's text stands inside its focus frame's margins and a pixel each side.
    const int cellMargin =
        2 *
        (lstTraffic->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lstTraffic) + 1);
    const auto needs = [&](const QString &text) {
        return lstTraffic->fontMetrics().horizontalAdvance(text) + cellMargin + 1;
    };
    const std::pair<int, int> least[] = {
        {TrafficModel::Hex,
         QFontMetrics(heading).horizontalAdvance(
             model->headerData(TrafficModel::Hex, Qt::Horizontal, Qt::DisplayRole).toString()) +
             margin + 2},
        {TrafficModel::Time, needs(QStringLiteral("00:00:00.000"))},
        {TrafficModel::Direction, needs(QStringLiteral("DISCARDED"))},
        {TrafficModel::Meaning, digit * 12}};
    for (const auto &[column, atLeast] : least) {
        const int size = columns->sectionSize(column);
        const int gives = std::clamp(over, 0, std::max(0, size - atLeast));
        columns->resizeSection(column, size - gives);
        over -= gives;
    }
    width = std::min(width, room);
    resize(width, 420);

    connect(cmdSave, &QPushButton::clicked, this, &TrafficLogWindow::saveLog);
    connect(cmdClear, &QPushButton::clicked, this, &TrafficLogWindow::clearLog);
    connect(cboTime, &QComboBox::currentIndexChanged, this, &TrafficLogWindow::chooseTimeFormat);
    connect(model, &QAbstractItemModel::rowsInserted, this, &TrafficLogWindow::followNewest);
}

void TrafficLogWindow::followNewest()
{
    // Stay at the bottom unless the user scrolled up to read.
    QScrollBar *bar = lstTraffic->verticalScrollBar();
    if (bar->value() >= bar->maximum() - 2)
        lstTraffic->scrollToBottom();
}

void TrafficLogWindow::chooseTimeFormat()
{
    model->setTimeStyle(cboTime->currentIndex() == 1 ? TrafficTime::WallClock
                                                     : TrafficTime::SinceOpen);
}

void TrafficLogWindow::clearLog()
{
    model->clear();
}

void TrafficLogWindow::saveLog()
{
    model->flush();
    QFileDialog dialog(this, tr("Save Traffic Log"), QString(), tr("Text files (*.txt *.log)"));
    dialog.setObjectName(QStringLiteral("saveDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    dialog.selectFile(QStringLiteral("lumavera-traffic.txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().first();
    const WriteResult written =
        ReplaceFileAtomically(path, (model->lines().join(u'\n') + u'\n').toUtf8());
    if (!written.ok()) {
        ShowMessage(this, QMessageBox::Warning, tr("The log could not be saved."),
                    tr("%1: %2.").arg(path, written.reason));
    }
}

void TrafficLogWindow::copySelection()
{
    QList<int> rows;
    for (const QModelIndex &index : lstTraffic->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (!rows.isEmpty())
        QApplication::clipboard()->setText(model->lines(rows).join(u'\n') + u'\n');
}

void TrafficLogWindow::keyPressEvent(QKeyEvent *event)
{
    // Escape and Ctrl+W close it, as they close a dialog.
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Close))
        close();
    else
        QWidget::keyPressEvent(event);
}

bool TrafficLogWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lstTraffic && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent *>(event)->matches(QKeySequence::Copy)) {
        copySelection();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace lumavera
