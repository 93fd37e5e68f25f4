#pragma once

#include "link/modulestep.h"
#include "link/task.h"
#include "settings/writeresult.h"

#include <QCoreApplication>
#include <QFileDialog>

#include <functional>
#include <optional>

class QWidget;

namespace lumavera {

class ModuleLink;

// The window's Backup… and Restore…: a connected module's whole
// configuration into a file, and a file's back onto the module, read back
// and compared, with what the module held kept first.
class ModuleFiles
{
    // Its words are the window's, in the window's translation context.
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    struct Hooks
    {
        // One step, as the window's own buttons send it.
        std::function<Task<StepOutcome>(ModuleStep)> send;
        // The module's settings into the window's lists and sliders, and
        // its slot colours into the settings file; how that write went.
        std::function<WriteResult(const ModuleSettings &)> show;
        // The line beside Connect, and in full as its tooltip.
        std::function<void(const QString &text, const QString &toolTip)> say;
        // A restore begins (true) or ends: no other step goes out meanwhile.
        std::function<void(bool restoring)> restoring;
    };

    ModuleFiles(QWidget *window, ModuleLink &link, Hooks hooks);

    Detached backup();
    Detached restore();

private:
    // The file the user picks; empty when none is picked, or the link is
    // busy or closed.
    QString chooseFile(const QString &title, QFileDialog::AcceptMode mode);
    // What the module holds; a box says why not where the user should know.
    Task<std::optional<ModuleSettings>> readModule();
    // One of a restore's steps, then how far it has come.
    Task<StepOutcome> restoreStep(ModuleStep next, QString path, int step, int steps);

    QWidget *window_;
    ModuleLink &link_;
    Hooks hooks_;
};

} // namespace lumavera
