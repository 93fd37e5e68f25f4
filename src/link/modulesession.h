#pragma once

#include "link/modulelink.h"
#include "link/modulestep.h"

namespace lumavera {

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

    Task<StepOutcome> run(ModuleStep step) { return run(step, wait_); }
    Task<StepOutcome> run(ModuleStep step, ReplyWaitRule wait);
    // A read that failed, as the outcome of a step that was held back for
    // it: nothing goes to a line on another machine before a module answered.
    StepOutcome withheld(StepOutcome read) const;
    // Done once the module has answered after the last frame sent. The
    // server of a network line throws away what it has not yet passed on
    // when the connection closes (ser2net flushes its device then), so a
    // frame that had no answer is confirmed by a read before the line is
    // let go; on a local line, and after an answer, at once.
    Task<StepOutcome> confirmDelivered();

private:
    StepOutcome send(const ModuleStep &step);
    Task<StepOutcome> read(ReplyWaitRule wait);
    Task<StepOutcome> save(ReplyWaitRule wait);
    // Sends the step and waits for its answer; the answer's bytes once the
    // count check passed, else nothing, with `out` saying why.
    Task<std::optional<QByteArray>> exchange(ModuleStep step, int expected, QString verdict,
                                             ReplyWaitRule wait, StepOutcome &out);
    // After the wait: the count check; false, with the outcome filled in,
    // when too few bytes came.
    bool countOk(int expected, const QString &verdict, const ReplyWaitRule &wait, StepOutcome &out);

    ModuleLink &link_;
    ReplyWaitRule wait_;
    // A frame went out that no answer has come after.
    bool unanswered_ = false;
};

} // namespace lumavera
