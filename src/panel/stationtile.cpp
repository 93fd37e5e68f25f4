#include "panel/stationtile.h"

#include "panel/contrast.h"
#include "panel/statemark.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace lumavera {

namespace {

struct Look
{
    const char *words;
    QColor ground; // invalid: the palette's own
    StateMark::Shape shape;
};

// PASS light and FAIL dark: a technician who cannot tell red from green
// still tells them apart by their lightness (over 4:1 as deuteranopia and
// protanopia see them), as well as by the shape and the word.
Look lookOf(StationTile::State state)
{
    using Shape = StateMark::Shape;
    switch (state) {
    case StationTile::State::Waiting:
        return {QT_TRANSLATE_NOOP("StationTile", "Waiting for a module"), {}, Shape::None};
    case StationTile::State::Absent:
        return {QT_TRANSLATE_NOOP("StationTile", "Not plugged in"), {}, Shape::None};
    case StationTile::State::Working:
        return {QT_TRANSLATE_NOOP("StationTile", "Working"), QColor(0x1f, 0x5f, 0xbf), Shape::None};
    case StationTile::State::Pass:
        return {QT_TRANSLATE_NOOP("StationTile", "PASS"), QColor(0x7e, 0xe0, 0x9a), Shape::Tick};
    case StationTile::State::Fail:
        return {QT_TRANSLATE_NOOP("StationTile", "FAIL"), QColor(0x9b, 0x1c, 0x16), Shape::Cross};
    case StationTile::State::Held:
        return {QT_TRANSLATE_NOOP("StationTile", "In use"), QColor(0xf0, 0xb4, 0x00), Shape::Bar};
    case StationTile::State::Skipped:
        break;
    }
    return {QT_TRANSLATE_NOOP("StationTile", "Left alone"), QColor(0x5f, 0x5f, 0x5f), Shape::None};
}

// The texts' sizes in the ordinary view, in points.
constexpr int TitlePoints = 18;
constexpr int VerdictPoints = 30;
constexpr int ReasonPoints = 13;

QLabel *label(QWidget *parent, int points, bool bold, const char *name)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    QFont font = l->font();
    font.setPointSize(points);
    font.setBold(bold);
    l->setFont(font);
    l->setAlignment(Qt::AlignCenter);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::NoTextInteraction);
    return l;
}

void setPixels(QLabel *label, int pixels)
{
    QFont font = label->font();
    font.setPixelSize(pixels);
    label->setFont(font);
}

// The operator view's sizes, in pixels, for a tile of a given size.
constexpr int Margin = 6;
constexpr int Spacing = 4;

struct Sizes
{
    int title;
    int verdict;
    int reason;
};

int lineOf(int pixels, bool bold)
{
    QFont font = QApplication::font();
    font.setPixelSize(pixels);
    font.setBold(bold);
    return QFontMetrics(font).height();
}

Sizes operatorSizes(QSize size)
{
    Sizes s;
    s.title = std::clamp(size.height() / 10, 18, 40);
    s.reason = std::clamp(size.height() / 16, 24, 32);
    // The title's row holds the Retest button too.
    const int titleRow =
        std::max(lineOf(s.title, true), QFontMetrics(QApplication::font()).height() + 12);
    const int left = size.height() - 2 * Margin - titleRow - lineOf(s.reason, false) - 2 * Spacing;
    // The verdict's measure at 100 px: its line's height and the width of
    // the wider verdict, beside its mark (as high as a capital).
    QFont big = QApplication::font();
    big.setPixelSize(100);
    big.setBold(true);
    const QFontMetrics m(big);
    const int wide = std::max(m.horizontalAdvance(StationTile::tr("PASS")),
                              m.horizontalAdvance(StationTile::tr("FAIL"))) +
                     m.capHeight();
    const int byHeight = left * 100 / std::max(1, m.height());
    const int byWidth = (size.width() - 2 * Margin - Spacing) * 100 / std::max(1, wide);
    // No larger than a quarter of the tile, so that the reasons have room,
    // unless that is under 66 px, capitals of 48.
    const int share = std::max(size.height() / 4, 66);
    s.verdict = std::clamp(std::min({byHeight, byWidth, share}), 8, 240);
    return s;
}

} // namespace

StationTile::StationTile(const QString &title, const QString &shortTitle, QWidget *parent)
    : QFrame(parent), title_(title), shortTitle_(shortTitle),
      titleLabel_(label(this, TitlePoints, true, "stationTileTitle")), mark_(new StateMark(this)),
      words_(label(this, VerdictPoints, true, "stationVerdict")),
      detailArea_(new QScrollArea(this)),
      detailLabel_(label(this, ReasonPoints, false, "stationReason")),
      serialLabel_(label(this, 12, false, "stationIds")),
      countsLabel_(label(this, 12, false, "stationPortCounts")),
      retest_(new QPushButton(tr("&Retest"), this))
{
    setObjectName(QStringLiteral("stationTile"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    auto *column = new QVBoxLayout(this);
    top_ = new QHBoxLayout;
    top_->addWidget(titleLabel_, 1);
    retest_->setObjectName(QStringLiteral("stationRetest"));
    retest_->setAccessibleName(tr("Retest %1").arg(title));
    top_->addWidget(retest_);
    column->addLayout(top_);
    auto *verdict = new QHBoxLayout;
    verdict->addStretch();
    verdict->addWidget(mark_);
    verdict->addWidget(words_);
    verdict->addStretch();
    column->addLayout(verdict, 1);
    // Every difference of a FAIL, scrolled when they are more than fit. The
    // reasons are laid out for the width beside a scroll bar whether one is
    // shown or not: sized by the scroll area, a wrapped text and the bar
    // would make room for each other without end.
    detailArea_->setWidget(detailLabel_);
    detailArea_->viewport()->installEventFilter(this);
    detailArea_->setFrameShape(QFrame::NoFrame);
    detailArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    detailArea_->viewport()->setAutoFillBackground(false);
    detailLabel_->setAutoFillBackground(false);
    detailLabel_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    column->addWidget(detailArea_, 1);
    column->addWidget(serialLabel_);
    column->addWidget(countsLabel_);
    // Where Retest goes on a tile too narrow for it beside the title.
    foot_ = new QHBoxLayout;
    column->addLayout(foot_);
    connect(retest_, &QPushButton::clicked, this, &StationTile::retestAsked);
    // A tile takes the focus, so that R retests the one chosen.
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(title);
    setOperatorView(false);
}

void StationTile::setState(State state, const QString &detail)
{
    state_ = state;
    detail_ = detail;
    note_.clear();
    showState();
}

void StationTile::setSerial(const QString &serial)
{
    serial_ = serial;
    showState();
}

void StationTile::setUnit(const QString &unit)
{
    unit_ = unit;
    showState();
}

void StationTile::setCounts(const QString &counts)
{
    counts_ = counts;
    showState();
}

void StationTile::setNote(const QString &note)
{
    note_ = note;
    showState();
}

void StationTile::setOperatorView(bool on)
{
    operatorView_ = on;
    serialLabel_->setVisible(!on);
    countsLabel_->setVisible(!on);
    titleLabel_->setWordWrap(!on);
    words_->setWordWrap(false);
    if (on) {
        // The screen's share, whatever the texts would like: they are sized
        // to it.
        setMinimumSize(0, 0);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        titleLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        layout()->setSizeConstraint(QLayout::SetNoConstraint);
        layout()->setContentsMargins(Margin, Margin, Margin, Margin);
        layout()->setSpacing(Spacing);
        fitTexts();
    } else {
        setMinimumSize(320, 220);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        titleLabel_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
        const int gap = style()->pixelMetric(QStyle::PM_LayoutLeftMargin);
        layout()->setContentsMargins(gap, gap, gap, gap);
        layout()->setSpacing(style()->pixelMetric(QStyle::PM_LayoutVerticalSpacing));
        for (auto [l, points] : {std::pair{titleLabel_, TitlePoints},
                                 {words_, VerdictPoints},
                                 {detailLabel_, ReasonPoints}}) {
            QFont font = l->font();
            font.setPointSize(points);
            l->setFont(font);
        }
        titleLabel_->setText(title_);
        if (foot_->indexOf(retest_) >= 0) {
            foot_->removeWidget(retest_);
            top_->addWidget(retest_);
        }
        mark_->setSide(QFontMetrics(words_->font()).capHeight());
    }
    showState();
}

bool StationTile::hasHeightForWidth() const
{
    // In the operator view a tile's height is the screen's share, never its
    // texts' wish.
    return !operatorView_ && QFrame::hasHeightForWidth();
}

int StationTile::verdictPixels(QSize size)
{
    return operatorSizes(size).verdict;
}

bool StationTile::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == detailArea_->viewport() && event->type() == QEvent::Resize)
        fitDetail();
    return QFrame::eventFilter(watched, event);
}

void StationTile::fitDetail()
{
    const QScrollBar *bar = detailArea_->verticalScrollBar();
    const int width = detailArea_->viewport()->width() -
                      (bar->isVisible() ? 0 : style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    detailLabel_->resize(std::max(0, width), detailLabel_->heightForWidth(std::max(0, width)));
}

void StationTile::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    fitTexts();
}

void StationTile::fitTexts()
{
    if (!operatorView_) {
        // The state's words on one line beside the mark, smaller where they
        // are wider than the tile.
        QFont font = words_->font();
        font.setPointSize(VerdictPoints);
        const int room = contentsRect().width() - layout()->contentsMargins().left() -
                         layout()->contentsMargins().right() -
                         (mark_->isVisible() ? mark_->width() + layout()->spacing() : 0);
        if (const int wide = QFontMetrics(font).horizontalAdvance(words_->text()); wide > room)
            font.setPointSize(std::max(14, VerdictPoints * room / wide));
        words_->setFont(font);
        return;
    }
    const Sizes s = operatorSizes(size());
    const int inside = width() - 2 * Margin;
    setPixels(titleLabel_, s.title);
    // Retest beside the title where both fit, else under the reasons.
    const int button = retest_->sizeHint().width() + Spacing;
    const bool beside =
        titleLabel_->fontMetrics().horizontalAdvance(shortTitle_) + button <= inside;
    if (QBoxLayout *to = beside ? top_ : foot_; to->indexOf(retest_) < 0) {
        (beside ? foot_ : top_)->removeWidget(retest_);
        to->addWidget(retest_, 0, Qt::AlignCenter);
    }
    // The title smaller where it would not fit whole, and shortened only
    // below a size still read at arm's length.
    const int titleRoom = std::max(1, inside - (beside && retest_->isVisible() ? button : 0));
    if (const int wide = titleLabel_->fontMetrics().horizontalAdvance(shortTitle_);
        wide > titleRoom)
        setPixels(titleLabel_, std::max(12, s.title * titleRoom / wide));
    titleLabel_->setText(
        titleLabel_->fontMetrics().elidedText(shortTitle_, Qt::ElideMiddle, titleRoom));
    setPixels(detailLabel_, s.reason);
    // The verdict as large as the tile allows. Longer words (Waiting for a
    // module) as large as fit its row: on one line, or on two where that
    // is larger.
    setPixels(words_, s.verdict);
    const QFontMetrics m = words_->fontMetrics();
    mark_->setSide(m.capHeight());
    const int room = std::max(1, inside - (mark_->isVisible() ? m.capHeight() + Spacing : 0));
    const QString words = words_->text();
    const int wide = std::max(1, m.horizontalAdvance(words));
    int oneLine = wide > room ? s.verdict * room / wide : s.verdict;
    int twoLines = 0;
    if (oneLine < s.verdict && words.contains(u' ')) {
        int longest = 1;
        for (const QString &word : words.split(u' '))
            longest = std::max(longest, m.horizontalAdvance(word));
        twoLines = std::min(s.verdict * room / longest, s.verdict / 2);
    }
    words_->setWordWrap(twoLines > oneLine);
    setPixels(words_, std::max(8, std::max(oneLine, twoLines)));
    fitDetail();
}

void StationTile::showState()
{
    const Look look = lookOf(state_);
    const QString words = tr(look.words);
    words_->setText(words);
    mark_->setShape(look.shape);
    retest_->setVisible(state_ == State::Fail);
    QStringList ids;
    if (!unit_.isEmpty())
        ids << tr("Unit %1").arg(unit_);
    if (!serial_.isEmpty())
        ids << tr("Serial number %1").arg(serial_);
    QStringList detail;
    for (const QString &line : {detail_, note_}) {
        if (!line.isEmpty())
            detail << line;
    }
    // The operator view has room for one box of text: the ids and counts
    // go below the reasons.
    if (operatorView_) {
        if (!unit_.isEmpty())
            detail << tr("Unit %1").arg(unit_);
        if (!counts_.isEmpty())
            detail << counts_;
    }
    detailLabel_->setText(detail.join(u'\n'));
    fitDetail();
    serialLabel_->setText(ids.join(QStringLiteral(", ")));
    countsLabel_->setText(counts_);
    // Fixed colours for the verdicts, the same in every palette, with black
    // or white text, whichever reads better on them; a waiting tile keeps
    // the palette's own.
    QPalette shown = palette();
    const QPalette base = parentWidget() ? parentWidget()->palette() : QPalette();
    const QColor ground = look.ground.isValid() ? look.ground : base.color(QPalette::Base);
    const QColor text = look.ground.isValid() ? BlackOrWhiteOn(ground) : base.color(QPalette::Text);
    shown.setColor(QPalette::Window, ground);
    shown.setColor(QPalette::WindowText, text);
    setPalette(shown);
    fitTexts();
    // At once, so that what is drawn next is the new state laid out.
    layout()->activate();
    // What a screen reader says: the state in words, never the colour alone.
    QStringList description{words};
    if (!detail_.isEmpty())
        description << detail_;
    if (!note_.isEmpty())
        description << note_;
    if (!unit_.isEmpty())
        description << tr("unit %1").arg(unit_);
    if (!serial_.isEmpty())
        description << tr("serial number %1").arg(serial_);
    setAccessibleDescription(description.join(QStringLiteral(", ")));
}

} // namespace lumavera
