#pragma once

#include "link/modulelink.h"
#include "link/modulestep.h"

// Carries out steps on a module link: the step as a frame, the exchange, and
// the answer judged. The window, lumaveractl, the hand-off to the window and
// the station all go through here, so a step has one outcome whichever way
// it comes.
class ModuleSession
{
public:
    // `wait`: how exchanges wait for their answer unless a step says otherwise.
    ModuleSession(ModuleLink &link, const ReplyWaitRule &wait);

    ModuleLink &link() const { return link_; }

    StepOutcome run(const ModuleStep &step) { return run(step, wait_); }
    StepOutcome run(const ModuleStep &step, const ReplyWaitRule &wait);
    // A read that failed, as the outcome of a step that was held back for
    // it: nothing goes to a line on another machine before a module answered.
    StepOutcome withheld(StepOutcome read) const;

private:
    StepOutcome send(const ModuleStep &step);
    StepOutcome read(const ReplyWaitRule &wait);
    StepOutcome save(const ReplyWaitRule &wait);
    // Sends the step and waits for its answer; the answer's bytes once the
    // count check passed, else nothing, with `out` saying why.
    std::optional<QByteArray> exchange(const ModuleStep &step, int expected, const QString &verdict,
                                       const ReplyWaitRule &wait, StepOutcome &out);
    // After the wait: the count check; false, with the outcome filled in,
    // when too few bytes came.
    bool countOk(int expected, const QString &verdict, const ReplyWaitRule &wait, StepOutcome &out);

    ModuleLink &link_;
    ReplyWaitRule wait_;
};
