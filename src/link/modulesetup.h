#pragma once

#include "link/modulestep.h"
#include "link/task.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <optional>

namespace lumavera {

// Setting a module up from a whole configuration, as restore, the station
// and the window's Restore do it: mode, fade, hold and the ten slots, a
// pause after each frame for a slow module, then a read back compared with
// what was sent.

// The frames a configuration takes, in the order they go out.
QList<ModuleStep> SetupSteps(const ModuleSettings &want);

// Every way `got` differs from `want`, one line each ("mode: file 3, module 2").
QStringList SettingsDifferences(const ModuleSettings &want, const ModuleSettings &got);

struct SetupResult
{
    // The step that failed, and how; ok() when every step went through.
    std::optional<ModuleStep> failedStep;
    StepOutcome failure;
    // What the module read back, and how it differs; a setup verified only
    // when the read back came and matched.
    std::optional<ModuleSettings> got;
    QStringList differences;
    bool stopped = false; // asked to stop between frames
    int completed = 0;    // the steps that went through, the read back among them

    bool verified() const { return !failedStep && !stopped && got && differences.isEmpty(); }
};

// What of a setup that ended early reached the module, for a person: "mode,
// fade, hold and slots 1..4 reached the module; slots 5..10 did not".
QString SetupReached(const SetupResult &result);

// Runs the steps through `run` with `pause(gapMs)` after each; `pause`
// ends false to stop before the next frame. Stops at the first step that
// fails.
Task<SetupResult> SetUpModule(std::function<Task<StepOutcome>(ModuleStep)> run, ModuleSettings want,
                              int gapMs, std::function<Task<bool>(int ms)> pause);

} // namespace lumavera
