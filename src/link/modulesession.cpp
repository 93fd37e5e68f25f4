#include "link/modulesession.h"

#include "link/lateanswer.h"
#include "link/texts.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace lumavera {

namespace {

StepOutcome failed(ReplyFault fault, const QString &reason)
{
    StepOutcome out;
    out.fault = fault;
    out.reason = reason;
    return out;
}

} // namespace

ModuleSession::ModuleSession(ModuleLink &link, const ReplyWaitRule &wait) : link_(link), wait_(wait)
{
}

Task<StepOutcome> ModuleSession::run(ModuleStep step, ReplyWaitRule wait)
{
    if (!step.valid())
        co_return failed(ReplyFault::SendFailed,
                         LinkTexts::tr("The step holds a value the module has no "
                                       "place for."));
    if (link_.isNetwork() && link_.isOpen() && !link_.moduleAnswered() &&
        step.kind != ModuleStep::Kind::Read) {
        if (StepOutcome probe = co_await run(ModuleStep::read(), wait); !probe.ok())
            co_return withheld(probe);
    }
    if (step.kind != ModuleStep::Kind::Read && step.kind != ModuleStep::Kind::Save)
        co_return send(step);
    StepOutcome out;
    if (step.kind == ModuleStep::Kind::Read)
        out = co_await read(wait);
    else
        out = co_await save(wait);
    // A failed answer: the negotiation of a telnet server taken for one
    // (the scheme was wrong, not the module), or a program holding the
    // device that may have taken it. One of another user's cannot be seen,
    // only suspected, and how to see it said.
    if (!out.ok() && out.fault != ReplyFault::Aborted && out.fault != ReplyFault::Stopped) {
        if (const QString advice = link_.schemeAdvice(); !advice.isEmpty()) {
            out.fault = ReplyFault::WrongScheme;
            out.reason = advice;
            co_return out;
        }
        const HolderLook look = link_.holder();
        const QString device = link_.devicePath();
        if (const QString holder = look.holders.value(device); !holder.isEmpty()) {
            out.reason +=
                u' ' + LinkTexts::tr("%1 is in use by %2, which may have taken the answer.")
                           .arg(device, holder);
        } else if (look.unseen > 0 &&
                   (out.fault == ReplyFault::NoAnswer || out.fault == ReplyFault::Short)) {
            out.unseenHolderOf = QFileInfo(device).canonicalFilePath();
        }
    }
    co_return out;
}

StepOutcome ModuleSession::withheld(StepOutcome read) const
{
    read.reason += u' ' + LinkTexts::tr("Nothing else goes to %1 before a module answers there.")
                              .arg(link_.devicePath());
    return read;
}

Task<StepOutcome> ModuleSession::confirmDelivered()
{
    if (!unanswered_ || !link_.isNetwork())
        co_return StepOutcome{};
    StepOutcome read = co_await run(ModuleStep::read());
    if (read.ok())
        co_return StepOutcome{};
    read.reason = LinkTexts::tr("Whether the frame reached the module is unknown: the read sent "
                                "after it to confirm it failed. %1")
                      .arg(read.reason);
    co_return read;
}

StepOutcome ModuleSession::send(const ModuleStep &step)
{
    const SendResult sent = link_.send(FrameOf(step.body()));
    unanswered_ = true;
    if (sent.ok())
        return {};
    if (sent.fault == SendFault::Gone)
        return failed(ReplyFault::Unplugged, sent.reason);
    // Closed since the last step because the device went away.
    if (sent.fault == SendFault::NotOpen && link_.deviceLost()) {
        const QString why = link_.lossReason();
        return why.isEmpty()
                   ? failed(ReplyFault::Unplugged,
                            LinkTexts::tr("%1 went away: unplugged, or closed at its far end.")
                                .arg(link_.devicePath()))
                   : failed(ReplyFault::SendFailed,
                            LinkTexts::tr("The frame could not be written: %1").arg(why));
    }
    return failed(ReplyFault::SendFailed, sent.reason);
}

bool ModuleSession::countOk(int expected, const QString &verdict, const ReplyWaitRule &wait,
                            StepOutcome &out)
{
    out.count = link_.bytesWaiting();
    if (std::int16_t(out.count) >= expected)
        return true;
    out.fault = out.count == 0 ? ReplyFault::NoAnswer : ReplyFault::Short;
    out.reason =
        out.count == 0
            ? LinkTexts::tr("No answer came from the module within %1 ms.").arg(wait.timeoutMs)
            : LinkTexts::tr("Only %1 of %2 bytes came back.").arg(out.count).arg(expected);
    // What came is left where it is; it is shown here and thrown away before
    // the next command.
    if (out.count > 0)
        link_.report(
            TrafficEvent::Kind::Received, link_.peek(),
            LinkTexts::tr("%1: only %2 of %3 bytes").arg(verdict).arg(out.count).arg(expected),
            link_.lastArrivalNs());
    return false;
}

Task<std::optional<QByteArray>> ModuleSession::exchange(ModuleStep step, int expected,
                                                        QString verdict, ReplyWaitRule wait,
                                                        StepOutcome &out)
{
    if (link_.busy()) {
        out = failed(ReplyFault::Aborted,
                     LinkTexts::tr("Another exchange is waiting for its answer."));
        co_return std::nullopt;
    }
    // An answer to an earlier exchange that gave up on it may still be on
    // its way, and would pass for this one: it is waited out first.
    const QString device = link_.devicePath();
    if (AnswerPending(device)) {
        if (!co_await link_.waitForQuiet(wait.timeoutMs)) {
            out = failed(ReplyFault::Aborted, LinkTexts::tr("The exchange was cut short."));
            co_return std::nullopt;
        }
        ClearAnswerPending(device);
    }
    // Leftovers from earlier traffic would shift the answer.
    link_.discardStale();
    out = send(step);
    if (!out.ok())
        co_return std::nullopt;
    if (!co_await link_.waitForReply(expected, wait)) {
        MarkAnswerPending(device);
        const QString why = link_.isOpen() ? QString() : link_.lossReason();
        if (why.isEmpty() && link_.deviceLost()) {
            out = failed(ReplyFault::Unplugged,
                         LinkTexts::tr("%1 went away during the exchange: unplugged, or closed at "
                                       "its far end.")
                             .arg(device));
            co_return std::nullopt;
        }
        out = failed(ReplyFault::Aborted,
                     why.isEmpty() ? LinkTexts::tr("The exchange was cut short.")
                                   : LinkTexts::tr("The exchange was cut short: %1").arg(why));
        co_return std::nullopt;
    }
    if (!countOk(expected, verdict, wait, out)) {
        MarkAnswerPending(device);
        co_return std::nullopt;
    }
    unanswered_ = false;
    co_return link_.takeAll();
}

Task<StepOutcome> ModuleSession::read(ReplyWaitRule wait)
{
    StepOutcome out;
    const std::optional<QByteArray> answer = co_await exchange(
        ModuleStep::read(), SettingsReplyLength, LinkTexts::tr("Read Error"), wait, out);
    if (!answer)
        co_return out;
    const QByteArray &reply = *answer;
    if (!SettingsReplyContentOk(reply)) {
        out.fault = ReplyFault::BadStart;
        out.reason = LinkTexts::tr("The answer does not start like a settings reply.");
        link_.report(TrafficEvent::Kind::Received, reply,
                     LinkTexts::tr("Read Error: does not start like a settings reply"),
                     link_.lastArrivalNs());
        co_return out;
    }
    // The window takes the first 35 bytes of a longer answer, as it always
    // has (the traffic log shows the rest); lumaveractl, the hand-off and
    // the station do not vouch for one.
    StepOutcome sized = out;
    sized.count = int(reply.size());
    if (wait.policy == ReplyWaitRule::Policy::UntilComplete) {
        if (const StepOutcome whole = WholeAnswerOnly(sized); !whole.ok()) {
            link_.report(TrafficEvent::Kind::Received, reply,
                         LinkTexts::tr("Read Error: %1 bytes where %2 were expected")
                             .arg(reply.size())
                             .arg(SettingsReplyLength),
                         link_.lastArrivalNs());
            co_return whole;
        }
    }
    const std::optional<ModuleSettings> settings = DecodeSettingsReply(reply);
    const auto at = [&](int i) { return std::uint8_t(reply[i]); };
    if (!settings) {
        out.fault = ReplyFault::OutOfRange;
        out.reason =
            LinkTexts::tr("The answer holds mode %1, fade %2 and hold %3; the lists go up to "
                          "%4, %5 and %6.")
                .arg(at(1))
                .arg(at(2))
                .arg(at(3))
                .arg(MaxMode)
                .arg(MaxFade)
                .arg(MaxHold);
        link_.report(TrafficEvent::Kind::Received, reply,
                     LinkTexts::tr("Read Error: mode %1 fade %2 hold %3 out of range")
                         .arg(at(1))
                         .arg(at(2))
                         .arg(at(3)),
                     link_.lastArrivalNs());
        co_return out;
    }
    out.settings = *settings;
    link_.setModuleAnswered();
    link_.report(TrafficEvent::Kind::Received, reply,
                 LinkTexts::tr("settings reply: mode %1 fade %2 hold %3")
                     .arg(settings->mode)
                     .arg(settings->fade)
                     .arg(settings->hold),
                 link_.lastArrivalNs());
    co_return out;
}

Task<StepOutcome> ModuleSession::save(ReplyWaitRule wait)
{
    StepOutcome out;
    const std::optional<QByteArray> answer = co_await exchange(
        ModuleStep::save(), SaveAckLength, LinkTexts::tr("No Module Found"), wait, out);
    if (!answer)
        co_return out;
    const QByteArray &reply = *answer;
    if (SaveAckOk(reply)) {
        link_.report(TrafficEvent::Kind::Received, reply, LinkTexts::tr("acknowledgement: saved"),
                     link_.lastArrivalNs());
        co_return out;
    }
    // A settings reply that came too late for its read is no acknowledgement
    // at all: say so rather than blame the module's save.
    if (reply.size() >= SettingsReplyLength && SettingsReplyContentOk(reply)) {
        out.fault = ReplyFault::LateAnswer;
        out.reason =
            LinkTexts::tr("A late answer to an earlier command (a settings reply) came back "
                          "instead of the acknowledgement; whether the module saved is unknown.");
        link_.report(TrafficEvent::Kind::Received, reply,
                     LinkTexts::tr("late settings reply, no acknowledgement"),
                     link_.lastArrivalNs());
        co_return out;
    }
    out.fault = ReplyFault::WrongAck;
    out.reason = LinkTexts::tr("The module acknowledged with %1 instead of FE AA.")
                     .arg(QString::fromLatin1(reply.first(2).toHex(' ').toUpper()));
    link_.report(TrafficEvent::Kind::Received, reply, LinkTexts::tr("wrong acknowledgement"),
                 link_.lastArrivalNs());
    co_return out;
}

} // namespace lumavera
