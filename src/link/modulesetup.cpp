#include "link/modulesetup.h"
#include "link/texts.h"

#include <QCoreApplication>

namespace lumavera {

QList<ModuleStep> SetupSteps(const ModuleSettings &want)
{
    QList<ModuleStep> steps = {ModuleStep::mode(want.mode), ModuleStep::fade(want.fade),
                               ModuleStep::hold(want.hold)};
    for (int i = 0; i < SlotCount; ++i)
        steps << ModuleStep::store(i, want.slotColors[i]);
    return steps;
}

QStringList SettingsDifferences(const ModuleSettings &want, const ModuleSettings &got)
{
    QStringList lines;
    const auto compare = [&](const char *name, int w, int g) {
        if (w != g)
            lines << LinkTexts::tr("%1: file %2, module %3").arg(QLatin1String(name)).arg(w).arg(g);
    };
    compare("mode", want.mode, got.mode);
    compare("fade", want.fade, got.fade);
    compare("hold", want.hold, got.hold);
    for (int i = 0; i < SlotCount; ++i) {
        if (want.slotColors[i] != got.slotColors[i])
            lines << LinkTexts::tr("slot %1: file %2, module %3")
                         .arg(i + 1)
                         .arg(RgbText(want.slotColors[i]), RgbText(got.slotColors[i]));
    }
    return lines;
}

QString SetupReached(const SetupResult &result)
{
    constexpr int Settings = 3; // mode, fade, hold, then the ten slots
    const int done = result.completed;
    if (done == 0)
        return LinkTexts::tr("nothing of the file reached the module");
    if (done >= Settings + SlotCount)
        return LinkTexts::tr("every frame reached the module; its read back did not come");
    const auto slotRange = [](int first, int last) {
        return first == last ? LinkTexts::tr("slot %1").arg(first)
                             : LinkTexts::tr("slots %1..%2").arg(first).arg(last);
    };
    if (done == 1)
        return LinkTexts::tr("mode reached the module; fade, hold and the slots did not");
    if (done == 2)
        return LinkTexts::tr("mode and fade reached the module; hold and the slots did not");
    const int slotsDone = done - Settings;
    if (slotsDone == 0)
        return LinkTexts::tr("mode, fade and hold reached the module; the slots did not");
    return LinkTexts::tr("mode, fade, hold and %1 reached the module; %2 did not")
        .arg(slotRange(1, slotsDone), slotRange(slotsDone + 1, SlotCount));
}

Task<SetupResult> SetUpModule(std::function<Task<StepOutcome>(ModuleStep)> run, ModuleSettings want,
                              int gapMs, std::function<Task<bool>(int ms)> pause)
{
    SetupResult result;
    for (const ModuleStep &step : SetupSteps(want)) {
        const StepOutcome done = co_await run(step);
        if (!done.ok()) {
            result.failedStep = step;
            result.failure = done;
            co_return result;
        }
        ++result.completed;
        // A slow module needs a moment between frames.
        if (!co_await pause(gapMs)) {
            result.stopped = true;
            co_return result;
        }
    }
    const StepOutcome read = co_await run(ModuleStep::read());
    if (!read.ok()) {
        result.failedStep = ModuleStep::read();
        result.failure = read;
        co_return result;
    }
    ++result.completed;
    result.got = read.settings;
    result.differences = SettingsDifferences(want, read.settings);
    co_return result;
}

} // namespace lumavera
