#include "panel/stationwindow.h"

#include "link/networkport.h"
#include "panel/contrast.h"
#include "panel/messagebox.h"
#include "panel/stationtile.h"
#include "panel/tilegrid.h"
#include "settings/moduleconfig.h"
#include "station/engine.h"
#include "station/report.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

namespace lumavera {

namespace {

QLabel *bigLabel(const QString &name, int points, QWidget *parent)
{
    auto *l = new QLabel(parent);
    l->setObjectName(name);
    QFont font = l->font();
    font.setPointSize(points);
    font.setBold(true);
    l->setFont(font);
    return l;
}

QString elapsedText(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

// A FAIL's reason as its tile says it, with every difference (the tile
// scrolls them).
QString failure(const StationReport &report)
{
    return (QStringList{report.reason} + report.differences).join(u'\n');
}

// The ports of the Ports field, apart by spaces or commas.
QStringList portsIn(const QString &field)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    return field.split(separators, Qt::SkipEmptyParts);
}

// A port as the operator view's tile names it on one line: the COM number,
// a network line's host and port, or a device's last name.
QString shortName(const QString &port)
{
    if (const qsizetype scheme = port.indexOf(QLatin1String("://")); scheme >= 0)
        return port.mid(scheme + 3);
    return port.contains(u'/') ? port.section(u'/', -1, -1, QString::SectionSkipEmpty) : port;
}

// Who holds a port, under the tile's "In use": "by NAME (pid N)", or the
// lock that keeps it.
QString heldBy(const QString &reason)
{
    const QString inUse = QStringLiteral("in use ");
    return reason.startsWith(inUse) ? reason.mid(inUse.size()) : reason;
}

// A port's verdicts this shift, as its tile says them.
QString portCounts(const StationTally::Counts &n)
{
    QStringList said{StationWindow::tr("%1 passed").arg(n.passed),
                     StationWindow::tr("%1 failed").arg(n.failed)};
    if (n.skipped)
        said << StationWindow::tr("%1 left alone").arg(n.skipped);
    return said.join(QStringLiteral(", "));
}

} // namespace

StationWindow::StationWindow(QWidget *parent)
    : QWidget(parent, Qt::Window), file_(new QLineEdit), ports_(new QLineEdit),
      match_(new QLineEdit), log_(new QLineEdit),
      cable_(new QCheckBox(tr("Cables stay plugged in"))),
      all_(new QCheckBox(tr("Modules there at start too"))),
      save_(new QCheckBox(tr("Save each module to its EEPROM"))),
      sound_(new QCheckBox(tr("Sound on FAIL"))), startButton_(new QPushButton(tr("Start"))),
      stopButton_(new QPushButton(tr("Stop"))), newShift_(new QPushButton(tr("New shift"))),
      unit_(new QLineEdit), waitingUnits_(new QLabel), unitPort_(new QComboBox),
      goldenName_(bigLabel(QStringLiteral("goldenName"), 16, this)), goldenSettings_(new QLabel),
      counters_(bigLabel(QStringLiteral("stationCounters"), 16, this)),
      yield_(bigLabel(QStringLiteral("stationYield"), 16, this)), csv_(new QLabel),
      elapsed_(new QLabel), status_(new QLabel), operatorButton_(new QPushButton),
      scroll_(new QScrollArea), tileArea_(new QWidget), tiles_(new QGridLayout),
      tick_(new QTimer(this))
{
    setObjectName(QStringLiteral("frmStation"));
    setWindowTitle(tr("Lumavera Station"));
    file_->setObjectName(QStringLiteral("stationFile"));
    ports_->setObjectName(QStringLiteral("stationPorts"));
    ports_->setToolTip(tr("Empty: any serial port. Or ports apart by spaces: COM1, /dev/ttyUSB0, "
                          "rfc2217://host:port"));
    match_->setObjectName(QStringLiteral("stationMatch"));
    match_->setToolTip(tr("Empty: every device. Or a pattern on its stable name or path, such as "
                          "usb-FTDI*"));
    log_->setObjectName(QStringLiteral("stationLog"));
    log_->setToolTip(tr("Empty: no CSV file. Each verdict is appended as it is known."));
    cable_->setObjectName(QStringLiteral("stationCable"));
    all_->setObjectName(QStringLiteral("stationAll"));
    save_->setObjectName(QStringLiteral("stationSave"));
    sound_->setObjectName(QStringLiteral("stationSound"));
    newShift_->setObjectName(QStringLiteral("stationNewShift"));
    newShift_->setToolTip(tr("Sets the counters and the first-pass yield back to zero"));
    unit_->setObjectName(QStringLiteral("stationUnit"));
    unit_->setToolTip(tr("Type or scan the unit's id, then Enter: it goes to the next module "
                         "found, into its verdict and the CSV file"));
    waitingUnits_->setObjectName(QStringLiteral("stationWaitingUnits"));
    startButton_->setObjectName(QStringLiteral("stationStart"));
    stopButton_->setObjectName(QStringLiteral("stationStop"));
    status_->setObjectName(QStringLiteral("stationStatus"));
    status_->setWordWrap(true);
    goldenSettings_->setObjectName(QStringLiteral("goldenSettings"));
    goldenSettings_->setWordWrap(true);
    csv_->setObjectName(QStringLiteral("stationCsv"));
    elapsed_->setObjectName(QStringLiteral("stationElapsed"));

    auto *chooseFile = new QPushButton(tr("Choose\u2026"));
    chooseFile->setAccessibleName(tr("Choose the golden file"));
    auto *chooseLog = new QPushButton(tr("Choose\u2026"));
    chooseLog->setAccessibleName(tr("Choose the CSV file"));
    auto *run = new QGroupBox(tr("Run"));
    auto *form = new QGridLayout(run);
    const auto row = [&](int r, const QString &caption, QLineEdit *edit, QPushButton *choose) {
        auto *label = new QLabel(caption);
        label->setBuddy(edit);
        form->addWidget(label, r, 0);
        form->addWidget(edit, r, 1, 1, choose ? 1 : 2);
        if (choose)
            form->addWidget(choose, r, 2);
    };
    row(0, tr("&Golden file"), file_, chooseFile);
    row(1, tr("&Ports"), ports_, nullptr);
    row(2, tr("&Match"), match_, nullptr);
    row(3, tr("&CSV file"), log_, chooseLog);
    auto *checks = new QHBoxLayout;
    for (QCheckBox *box : {cable_, all_, save_, sound_})
        checks->addWidget(box);
    checks->addStretch();
    form->addLayout(checks, 4, 0, 1, 3);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(startButton_);
    buttons->addWidget(stopButton_);
    buttons->addWidget(status_, 1);
    form->addLayout(buttons, 5, 0, 1, 3);
    fields_ = {file_, ports_, match_,     log_,      cable_,   all_,
               save_, sound_, chooseFile, chooseLog, newShift_};

    auto *golden = new QGroupBox(tr("Golden file"));
    auto *goldenColumn = new QVBoxLayout(golden);
    goldenColumn->addWidget(goldenName_);
    goldenColumn->addWidget(goldenSettings_);
    auto *swatchRow = new QHBoxLayout;
    for (int i = 0; i < SlotCount; ++i) {
        auto *swatch = new QLabel(QString::number(i + 1));
        swatch->setObjectName(QStringLiteral("goldenSlot%1").arg(i + 1));
        swatch->setAlignment(Qt::AlignCenter);
        swatch->setFixedSize(40, 32);
        swatch->setAutoFillBackground(true);
        swatch->setFrameShape(QFrame::Box);
        swatches_ << swatch;
        swatchRow->addWidget(swatch);
    }
    swatchRow->addStretch();
    goldenColumn->addLayout(swatchRow);

    auto *shift = new QHBoxLayout;
    shift->addWidget(counters_);
    shift->addSpacing(24);
    shift->addWidget(yield_);
    shift->addStretch();
    shift->addWidget(elapsed_);
    shift->addWidget(newShift_);
    operatorButton_->setObjectName(QStringLiteral("stationOperator"));
    operatorButton_->setToolTip(tr("Full screen, tiles only, to be read from across the line; "
                                   "Esc leaves it"));
    shift->addWidget(operatorButton_);
    auto *units = new QHBoxLayout;
    auto *unitCaption = new QLabel(tr("&Unit id"));
    unitCaption->setBuddy(unit_);
    units->addWidget(unitCaption);
    units->addWidget(unit_, 1);
    auto *forCaption = new QLabel(tr("&for"));
    forCaption->setBuddy(unitPort_);
    unitPort_->setObjectName(QStringLiteral("stationUnitPort"));
    units->addWidget(forCaption);
    units->addWidget(unitPort_);
    units->addWidget(waitingUnits_, 2);
    tileArea_->setLayout(tiles_);
    tiles_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    scroll_->setWidget(tileArea_);
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->installEventFilter(this);

    auto *page = new QVBoxLayout(this);
    page->addWidget(run);
    page->addWidget(golden);
    page->addLayout(shift);
    page->addLayout(units);
    page->addWidget(csv_);
    page->addWidget(scroll_, 1);
    form_ = {run, golden, csv_};
    resize(1040, 760);

    connect(file_, &QLineEdit::editingFinished, this, &StationWindow::showGolden);
    connect(chooseFile, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getOpenFileName(
            this, tr("Golden file"), file_->text(), tr("Configuration (*.ini);;All files (*)"));
        if (!chosen.isEmpty()) {
            file_->setText(chosen);
            showGolden();
        }
    });
    connect(chooseLog, &QPushButton::clicked, this, [this] {
        const QString chosen =
            QFileDialog::getSaveFileName(this, tr("CSV file"), log_->text(), tr("CSV (*.csv)"),
                                         nullptr, QFileDialog::DontConfirmOverwrite);
        if (!chosen.isEmpty())
            log_->setText(chosen);
    });
    connect(startButton_, &QPushButton::clicked, this, &StationWindow::start);
    connect(stopButton_, &QPushButton::clicked, this, &StationWindow::stop);
    connect(unit_, &QLineEdit::returnPressed, this, &StationWindow::takeUnit);
    connect(ports_, &QLineEdit::editingFinished, this, &StationWindow::fillUnitPorts);
    connect(operatorButton_, &QPushButton::clicked, this,
            [this] { setOperatorView(!operatorView_); });
    connect(newShift_, &QPushButton::clicked, this, [this] {
        tally_ = {};
        for (auto it = tileOf_.begin(); it != tileOf_.end(); ++it)
            it.value()->setCounts({});
        showCounters();
    });
    connect(tick_, &QTimer::timeout, this,
            [this] { elapsed_->setText(tr("Elapsed %1").arg(elapsedText(clock_.elapsed()))); });
    tick_->setInterval(1000);
    setRunning(false);
    showGolden();
    showCounters();
    fillUnitPorts();
    showWaitingUnits();
    setOperatorView(false);
}

StationWindow::~StationWindow() = default;

void StationWindow::setOptions(const StationOptions &options)
{
    file_->setText(options.file);
    ports_->setText(options.ports.join(u' '));
    match_->setText(options.match);
    log_->setText(options.log);
    cable_->setChecked(options.cable);
    all_->setChecked(options.all);
    save_->setChecked(options.save);
    sound_->setChecked(options.sound);
    timing_ = options;
    showGolden();
    fillUnitPorts();
}

void StationWindow::showGolden()
{
    const QString path = file_->text();
    const LoadedConfig golden = path.isEmpty() ? LoadedConfig() : LoadModuleConfig(path);
    goldenName_->setText(path.isEmpty() ? tr("No golden file chosen") : QFileInfo(path).fileName());
    const bool shown = !path.isEmpty() && golden.ok();
    goldenSettings_->setText(path.isEmpty() ? QString()
                             : shown        ? tr("Mode %1, fade %2, hold %3, and the ten slots:")
                                           .arg(golden.settings.mode)
                                           .arg(golden.settings.fade)
                                           .arg(golden.settings.hold)
                                     : golden.reason);
    for (int i = 0; i < SlotCount; ++i) {
        QLabel *swatch = swatches_[i];
        swatch->setVisible(shown);
        if (!shown)
            continue;
        const Rgb c = golden.settings.slotColors[std::size_t(i)];
        const QColor colour(c.red, c.green, c.blue);
        QPalette p = swatch->palette();
        p.setColor(QPalette::Window, colour);
        p.setColor(QPalette::WindowText, BlackOrWhiteOn(colour));
        swatch->setPalette(p);
        swatch->setAccessibleName(tr("Slot %1").arg(i + 1));
        swatch->setAccessibleDescription(
            tr("red %1, green %2, blue %3").arg(c.red).arg(c.green).arg(c.blue));
    }
}

void StationWindow::setRunning(bool running)
{
    // The fields stay readable while they cannot be changed.
    for (QWidget *field : fields_) {
        if (auto *edit = qobject_cast<QLineEdit *>(field))
            edit->setReadOnly(running);
        else
            field->setEnabled(!running);
    }
    startButton_->setEnabled(!running);
    stopButton_->setEnabled(running);
}

bool StationWindow::start()
{
    if (engine_)
        return false;
    const auto refuse = [this](const QString &why) {
        ShowMessage(this, QMessageBox::Warning, why);
        return false;
    };
    StationOptions asked = timing_;
    asked.file = file_->text();
    asked.ports = portsIn(ports_->text());
    fillUnitPorts();
    asked.match = match_->text();
    asked.log = log_->text();
    asked.cable = cable_->isChecked();
    asked.all = all_->isChecked();
    asked.save = save_->isChecked();
    asked.sound = sound_->isChecked();
    if (asked.file.isEmpty())
        return refuse(tr("Choose the golden file the modules are set up from."));
    for (const QString &port : asked.ports) {
        if (const QString malformed = MalformedNetworkAddress(port); !malformed.isEmpty())
            return refuse(malformed + u'.');
    }
    if (asked.cable && !asked.named())
        return refuse(tr("Cables that stay plugged in are named: give their ports or a match."));
    showGolden();
    const PreparedStation prepared = PrepareStation(asked);
    if (!prepared)
        return refuse(prepared.reason);

    auto *engine = new StationEngine(prepared.options, this);
    connect(engine, &StationEngine::news, this, &StationWindow::news);
    connect(engine, &StationEngine::reported, this, &StationWindow::reported);
    connect(engine, &StationEngine::finished, this, &StationWindow::finished);
    // Tiles for the ports named, under the names they were given.
    qDeleteAll(tileOf_);
    tileOf_.clear();
    order_.clear();
    titleOf_.clear();
    for (qsizetype i = 0; i < asked.ports.size(); ++i)
        titleOf_.insert(prepared.options.ports[i], asked.ports[i]);
    for (const QString &port : prepared.options.ports)
        tileFor(port);
    if (const StationStart started = engine->start(); !started) {
        delete engine;
        return refuse(started.reason);
    }
    engine_ = engine;
    for (const auto &[named, unit] : std::exchange(unitsBeforeStart_, {}))
        engine_->bindUnit(unit, titleOf_.key(named, named));
    showWaitingUnits();
    showCounters();
    csv_->setText(asked.log.isEmpty()
                      ? tr("No CSV file")
                      : tr("CSV file: %1").arg(QFileInfo(asked.log).absoluteFilePath()));
    clock_.start();
    tick_->start();
    elapsed_->setText(tr("Elapsed %1").arg(elapsedText(0)));
    status_->setText(asked.ports.isEmpty() && asked.match.isEmpty()
                         ? tr("Running: plug a module in on any serial port.")
                         : tr("Running."));
    setRunning(true);
    return true;
}

void StationWindow::stop()
{
    if (!engine_)
        return;
    if (engine_->isStopping())
        status_->setText(tr("Stopping now."));
    else if (engine_->isWorking() && !engine_->options().cable)
        status_->setText(tr("Finishing the modules in progress; Stop again stops them at once."));
    else if (engine_->isWorking())
        status_->setText(tr("Finishing the modules in progress, then the cables are let go; "
                            "Stop again stops them at once."));
    else
        status_->setText(tr("Stopping."));
    engine_->stop();
}

void StationWindow::finishAndClose()
{
    closeWhenDone_ = true;
    if (engine_)
        stop();
    else
        close();
}

void StationWindow::finished()
{
    engine_->deleteLater();
    engine_ = nullptr;
    tick_->stop();
    setRunning(false);
    status_->setText(tr("Stopped."));
    if (closeWhenDone_)
        close();
}

StationTile *StationWindow::tileFor(const QString &port)
{
    if (StationTile *tile = tileOf_.value(port))
        return tile;
    const QString title = titleOf_.value(port, port);
    auto *tile = new StationTile(title, shortName(title), tileArea_);
    connect(tile, &StationTile::retestAsked, this, [this, port] { retest(port); });
    if (tally_.ports.contains(port))
        tile->setCounts(portCounts(tally_.ports.value(port)));
    tile->setOperatorView(operatorView_);
    tileOf_.insert(port, tile);
    order_ << tile;
    columns_ = 0;
    layTiles();
    return tile;
}

void StationWindow::setOperatorView(bool on)
{
    operatorView_ = on;
    for (QWidget *w : std::as_const(form_))
        w->setVisible(!on);
    operatorButton_->setText(on ? tr("Leave operator view") : tr("Operator view"));
    for (StationTile *tile : std::as_const(order_))
        tile->setOperatorView(on);
    if (on)
        showFullScreen();
    else if (isFullScreen())
        showNormal();
    columns_ = 0;
    layTiles();
}

void StationWindow::layTiles()
{
    const int count = int(order_.size());
    const int spacing = tiles_->spacing();
    int columns = 3;
    bool fitted = false;
    if (operatorView_) {
        columns = TileColumns(count, scroll_->viewport()->size(), spacing);
        fitted = columns > 0;
        if (!fitted)
            columns = std::max(1, (scroll_->viewport()->width() + spacing) /
                                      (SmallestTile().width() + spacing));
    }
    if (columns == columns_ && fitted == fitted_)
        return;
    columns_ = columns;
    fitted_ = fitted;
    // Fitted tiles never scroll: a bar that came and went would change the
    // width they are laid out for, and that the bar, without end.
    scroll_->setVerticalScrollBarPolicy(fitted ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    for (StationTile *tile : std::as_const(order_))
        tiles_->removeWidget(tile);
    for (int i = 0; i < count; ++i) {
        order_[i]->setMinimumSize(!operatorView_ ? QSize(320, 220)
                                  : fitted       ? QSize(0, 0)
                                                 : SmallestTile());
        tiles_->addWidget(order_[i], i / columns, i % columns);
    }
    // Fitted, the tiles share the screen evenly; on a screen too small for
    // them they share its width and scroll; else they keep their own size.
    const int rows = (count + columns - 1) / columns;
    for (int r = 0; r < std::max(rows, tiles_->rowCount()); ++r)
        tiles_->setRowStretch(r, fitted && r < rows ? 1 : 0);
    for (int c = 0; c < std::max(columns, tiles_->columnCount()); ++c)
        tiles_->setColumnStretch(c, operatorView_ && c < columns ? 1 : 0);
    tiles_->setAlignment(fitted          ? Qt::Alignment()
                         : operatorView_ ? Qt::AlignTop
                                         : Qt::AlignTop | Qt::AlignLeft);
}

bool StationWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize && operatorView_)
        layTiles();
    return QWidget::eventFilter(watched, event);
}

void StationWindow::news(const QString &port, const StationNews &news)
{
    StationTile *tile = tileFor(port);
    const bool verdictShown = tile->state() != StationTile::State::Waiting &&
                              tile->state() != StationTile::State::Absent &&
                              tile->state() != StationTile::State::Working;
    switch (news.kind) {
    case StationNews::Kind::Waiting:
        // The last verdict stays until the next module is found.
        if (!verdictShown)
            tile->setState(StationTile::State::Waiting);
        else
            tile->setNote(tr("waiting for the next module"));
        break;
    case StationNews::Kind::Found:
        tile->setSerial(news.text);
        tile->setUnit(engine_ ? engine_->unitOn(port) : QString());
        showWaitingUnits();
        tile->setState(StationTile::State::Working, tr("module found"));
        break;
    case StationNews::Kind::Working:
        tile->setState(StationTile::State::Working,
                       tr("step %1 of %2").arg(news.step).arg(news.steps));
        break;
    case StationNews::Kind::Note:
    case StationNews::Kind::Unopened:
        if (!verdictShown)
            tile->setState(StationTile::State::Waiting, news.text);
        break;
    case StationNews::Kind::Absent:
        if (!verdictShown)
            tile->setState(StationTile::State::Absent, news.text);
        else
            tile->setNote(tr("not plugged in"));
        break;
    case StationNews::Kind::Held:
        if (!verdictShown || tile->state() == StationTile::State::Held)
            tile->setState(StationTile::State::Held, heldBy(news.text));
        break;
    }
}

void StationWindow::reported(const StationReport &report, const QString &logFault)
{
    StationTile *tile = tileFor(report.device);
    tile->setSerial(report.serial);
    tile->setUnit(report.unit);
    tally_.add(report);
    tile->setCounts(portCounts(tally_.ports.value(report.device)));
    if (report.result == StationReport::Result::Fail && sound_->isChecked())
        QApplication::beep();
    switch (report.result) {
    case StationReport::Result::Pass:
        tile->setState(StationTile::State::Pass);
        break;
    case StationReport::Result::Fail:
        tile->setState(StationTile::State::Fail, failure(report));
        break;
    case StationReport::Result::Skip:
        if (report.held)
            tile->setState(StationTile::State::Held, heldBy(report.reason));
        else
            tile->setState(StationTile::State::Skipped, report.reason);
        break;
    }
    showCounters();
    if (!logFault.isEmpty())
        csv_->setText(logFault);
}

void StationWindow::showCounters()
{
    counters_->setText(tr("Passed %1   Failed %2   Skipped %3")
                           .arg(tally_.all.passed)
                           .arg(tally_.all.failed)
                           .arg(tally_.all.skipped));
    yield_->setText(tally_.firstTries == 0 ? tr("First-pass yield -")
                                           : tr("First-pass yield %1 % (%2 of %3)")
                                                 .arg(tally_.yieldPercent())
                                                 .arg(tally_.firstPasses)
                                                 .arg(tally_.firstTries));
}

void StationWindow::takeUnit()
{
    const QString unit = unit_->text().trimmed();
    unit_->clear();
    if (unit.isEmpty())
        return;
    const QString named = unitPort_->currentData().toString();
    if (engine_)
        engine_->bindUnit(unit, titleOf_.key(named, named));
    else
        unitsBeforeStart_.append({named, unit});
    showWaitingUnits();
}

void StationWindow::showWaitingUnits()
{
    QStringList waiting;
    for (const auto &[port, unit] : engine_ ? engine_->waitingUnits() : unitsBeforeStart_)
        waiting << (port.isEmpty() ? unit : tr("%1 on %2").arg(unit, titleOf_.value(port, port)));
    waitingUnits_->setText(waiting.isEmpty()
                               ? tr("No unit id waiting")
                               : tr("For the next modules: %1").arg(waiting.join(u", ")));
}

void StationWindow::fillUnitPorts()
{
    const QString chosen = unitPort_->currentData().toString();
    unitPort_->clear();
    unitPort_->addItem(tr("the next module found"), QString());
    for (const QString &port : portsIn(ports_->text()))
        unitPort_->addItem(port, port);
    unitPort_->setCurrentIndex(std::max(0, unitPort_->findData(chosen)));
}

void StationWindow::retest(const QString &port)
{
    if (!engine_ || !engine_->retest(port)) {
        status_->setText(engine_ ? tr("%1 is being set up; it cannot be retested now.")
                                       .arg(titleOf_.value(port, port))
                                 : tr("Start the station to retest a module."));
        return;
    }
    if (StationTile *tile = tileOf_.value(port))
        tile->setState(StationTile::State::Working, tr("retest"));
}

void StationWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && operatorView_) {
        setOperatorView(false);
        return;
    }
    // R retests the FAIL tile that has the focus, or the only FAIL tile.
    if (event->key() == Qt::Key_R && event->modifiers() == Qt::NoModifier) {
        QStringList failed;
        QString focused;
        for (auto it = tileOf_.begin(); it != tileOf_.end(); ++it) {
            if (it.value()->state() != StationTile::State::Fail)
                continue;
            failed << it.key();
            if (it.value()->hasFocus())
                focused = it.key();
        }
        if (!focused.isEmpty() || failed.size() == 1) {
            retest(focused.isEmpty() ? failed.first() : focused);
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

void StationWindow::closeEvent(QCloseEvent *event)
{
    if (engine_ && engine_->isWorking()) {
        event->ignore();
        if (closeWhenDone_)
            return;
        QMessageBox ask(QMessageBox::Question, tr("Lumavera Station"),
                        tr("Modules are being set up. Finish them, then close?"),
                        QMessageBox::Ok | QMessageBox::Cancel, this);
        ask.button(QMessageBox::Ok)->setText(tr("Finish and Close"));
        ask.setDefaultButton(QMessageBox::Cancel);
        if (ask.exec() == QMessageBox::Ok) {
            closeWhenDone_ = true;
            stop();
        }
        return;
    }
    delete engine_;
    engine_ = nullptr;
    event->accept();
}

} // namespace lumavera
