#include "panel/modulefiles.h"

#include "link/modulelink.h"
#include "link/modulesetup.h"
#include "panel/accessible.h"
#include "panel/messagebox.h"
#include "settings/history.h"
#include "settings/moduleconfig.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QMessageBox>

namespace lumavera {

namespace {

// The pause between a restore's frames.
constexpr int RestoreGapMs = 50;

QString askForFile(QWidget *owner, const QString &title, QFileDialog::AcceptMode mode)
{
    QFileDialog dialog(owner, title, QString(), ModuleFiles::tr("Module settings (*.ini)"));
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setDefaultSuffix(QStringLiteral("ini"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

ModuleFiles::ModuleFiles(QWidget *window, ModuleLink &link, Hooks hooks)
    : window_(window), link_(link), hooks_(std::move(hooks))
{
}

Task<std::optional<ModuleSettings>> ModuleFiles::readModule()
{
    // A backup keeps only what one whole settings reply says.
    const StepOutcome reply = WholeAnswerOnly(co_await hooks_.send(ModuleStep::read()));
    if (reply.ok())
        co_return reply.settings;
    // A cut-short exchange or a frame that did not go out is said elsewhere.
    if (reply.fault != ReplyFault::Aborted && reply.fault != ReplyFault::SendFailed &&
        reply.fault != ReplyFault::Unplugged)
        ShowMessage(window_, QMessageBox::Warning, tr("Read Error"), reply.reason);
    co_return std::nullopt;
}

Task<StepOutcome> ModuleFiles::restoreStep(ModuleStep next, QString path, int step, int steps)
{
    const StepOutcome out = WholeAnswerOnly(co_await hooks_.send(next));
    hooks_.say(tr("Restoring from %1: step %2 of %3\u2026").arg(path).arg(step).arg(steps), {});
    co_return out;
}

QString ModuleFiles::chooseFile(const QString &title, QFileDialog::AcceptMode mode)
{
    if (link_.busy())
        return {};
    const QString path = askForFile(window_, title, mode);
    // The port may have gone while the dialog was open.
    return link_.isOpen() ? path : QString();
}

Detached ModuleFiles::backup()
{
    const QString path = chooseFile(tr("Back Up the Module"), QFileDialog::AcceptSave);
    if (path.isEmpty())
        co_return;
    const std::optional<ModuleSettings> held = co_await readModule();
    if (!held)
        co_return;
    const WriteResult written = SaveModuleConfig(path, *held);
    hooks_.say(written.ok() ? tr("The module's settings are in %1.").arg(path)
                            : NotWritten(path, written) + u'.',
               {});
}

Detached ModuleFiles::restore()
{
    const QString path = chooseFile(tr("Restore the Module"), QFileDialog::AcceptOpen);
    if (path.isEmpty())
        co_return;
    const LoadedConfig loaded = LoadModuleConfig(path);
    if (!loaded) {
        ShowMessage(window_, QMessageBox::Warning,
                    tr("Nothing was sent: %1 cannot be used.").arg(path), loaded.reason);
        co_return;
    }
    // What the module holds is kept before the first change, so that
    // restoring that file undoes this restore.
    const std::optional<ModuleSettings> held = co_await readModule();
    if (!held)
        co_return;
    const KeptResult backup = KeepBackup(link_.devicePath(), *held);
    if (!backup.ok()) {
        ShowMessage(window_, QMessageBox::Warning,
                    tr("Nothing was sent: what the module holds could not be kept."),
                    backup.reason);
        co_return;
    }
    // No other step goes out between the restore's frames.
    hooks_.restoring(true);
    const ModuleSettings want = loaded.settings;
    const int steps = int(SetupSteps(want).size()) + 1;
    int step = 0;
    const SetupResult done = co_await SetUpModule(
        [&](const ModuleStep &next) { return restoreStep(next, path, ++step, steps); }, want,
        RestoreGapMs, [this](int ms) { return link_.pause(ms); });
    hooks_.restoring(false);
    hooks_.say({}, {});
    if (done.stopped || (done.failedStep && (done.failure.fault == ReplyFault::Aborted ||
                                             done.failure.fault == ReplyFault::SendFailed)))
        co_return;
    if (done.failedStep) {
        // Half a restore is worth knowing in full: what reached the module,
        // and where what it held before is.
        ShowMessage(window_, QMessageBox::Warning, tr("The restore did not finish."),
                    tr("%1\n\nIt stopped at step %2 of %3: %4. What the module held before is "
                       "kept in %5; restoring %6 again finishes it, restoring that file undoes it.")
                        .arg(done.failure.reason)
                        .arg(done.completed + 1)
                        .arg(steps)
                        .arg(SetupReached(done), backup.path, path));
        co_return;
    }
    const WriteResult kept = hooks_.show(*done.got);
    if (!done.differences.isEmpty())
        ShowMessage(window_, QMessageBox::Warning,
                    tr("The module differs from %1 after the restore.").arg(path),
                    done.differences.join(u'\n'));
    else if (!kept.ok())
        hooks_.say(WriteProblem(kept), {});
    else {
        // Two lines fit: the file's name there, where things are in full in
        // the tooltip.
        hooks_.say(tr("Restored from %1 and read back: the module matches. Not saved to the "
                      "EEPROM.")
                       .arg(QFileInfo(path).fileName()),
                   tr("Restored from %1. What the module held before is kept in %2.")
                       .arg(path, backup.path));
    }
}

} // namespace lumavera
