#include "panel/stationtile.h"

#include "panel/contrast.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumavera {

namespace {

struct Look
{
    const char *words;
    QColor ground; // invalid: the palette's own
};

Look lookOf(StationTile::State state)
{
    switch (state) {
    case StationTile::State::Waiting:
        return {QT_TRANSLATE_NOOP("StationTile", "Waiting for a module"), {}};
    case StationTile::State::Absent:
        return {QT_TRANSLATE_NOOP("StationTile", "Not plugged in"), {}};
    case StationTile::State::Working:
        return {QT_TRANSLATE_NOOP("StationTile", "Working"), QColor(0x1f, 0x5f, 0xbf)};
    case StationTile::State::Pass:
        return {QT_TRANSLATE_NOOP("StationTile", "PASS"), QColor(0x1e, 0x7b, 0x34)};
    case StationTile::State::Fail:
        return {QT_TRANSLATE_NOOP("StationTile", "FAIL"), QColor(0xb3, 0x26, 0x1e)};
    case StationTile::State::Held:
        return {QT_TRANSLATE_NOOP("StationTile", "In use"), QColor(0xf0, 0xb4, 0x00)};
    case StationTile::State::Skipped:
        break;
    }
    return {QT_TRANSLATE_NOOP("StationTile", "Left alone"), QColor(0x5f, 0x5f, 0x5f)};
}

QLabel *label(QWidget *parent, int points, bool bold)
{
    auto *l = new QLabel(parent);
    QFont font = l->font();
    font.setPointSize(points);
    font.setBold(bold);
    l->setFont(font);
    l->setAlignment(Qt::AlignCenter);
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::NoTextInteraction);
    return l;
}

} // namespace

StationTile::StationTile(const QString &title, QWidget *parent)
    : QFrame(parent), title_(label(this, 18, true)), words_(label(this, 30, true)),
      detailLabel_(label(this, 13, false)), serialLabel_(label(this, 12, false)),
      countsLabel_(label(this, 12, false)), retest_(new QPushButton(tr("&Retest"), this))
{
    setObjectName(QStringLiteral("stationTile"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setMinimumSize(320, 220);
    title_->setText(title);
    auto *column = new QVBoxLayout(this);
    column->addWidget(title_);
    column->addWidget(words_, 1);
    column->addWidget(detailLabel_, 1);
    column->addWidget(serialLabel_);
    column->addWidget(countsLabel_);
    retest_->setObjectName(QStringLiteral("stationRetest"));
    retest_->setAccessibleName(tr("Retest %1").arg(title));
    column->addWidget(retest_, 0, Qt::AlignHCenter);
    connect(retest_, &QPushButton::clicked, this, &StationTile::retestAsked);
    // A tile takes the focus, so that R retests the one chosen.
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(title);
    showState();
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
    countsLabel_->setText(counts);
}

void StationTile::setNote(const QString &note)
{
    note_ = note;
    showState();
}

void StationTile::showState()
{
    const Look look = lookOf(state_);
    const QString words = tr(look.words);
    words_->setText(words);
    detailLabel_->setText(note_.isEmpty() ? detail_ : detail_ + u'\n' + note_);
    QStringList ids;
    if (!unit_.isEmpty())
        ids << tr("Unit %1").arg(unit_);
    if (!serial_.isEmpty())
        ids << tr("Serial number %1").arg(serial_);
    serialLabel_->setText(ids.join(QStringLiteral(", ")));
    retest_->setVisible(state_ == State::Fail);
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
