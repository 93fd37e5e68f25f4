#pragma once

#include "link/commandframe.h"
#include "link/reply.h"
#include "link/result.h"

#include <QString>

#include <optional>

namespace lumavera {

// One thing asked of the module: show a colour, set the mode, the fade or the
// hold, store a slot, read the settings, or save them to the EEPROM.
struct ModuleStep
{
    enum class Kind { Color, Mode, Fade, Hold, Store, Read, Save };

    Kind kind = Kind::Color;
    int value = 0; // Mode, Fade, Hold: the list position
    int slot = 0;  // Store: 0..9
    Rgb colour;    // Color, Store

    static ModuleStep color(const Rgb &colour) { return {Kind::Color, 0, 0, colour}; }
    static ModuleStep mode(int position) { return {Kind::Mode, position, 0, {}}; }
    static ModuleStep fade(int position) { return {Kind::Fade, position, 0, {}}; }
    static ModuleStep hold(int position) { return {Kind::Hold, position, 0, {}}; }
    static ModuleStep store(int slot, const Rgb &colour) { return {Kind::Store, 0, slot, colour}; }
    static ModuleStep read() { return {Kind::Read, 0, 0, {}}; }
    static ModuleStep save() { return {Kind::Save, 0, 0, {}}; }

    // Whether the values are ones the module's lists and slots hold.
    bool valid() const;
    // Bytes 1..4 of the frame that carries the step.
    FrameBody body() const;
};

// How long the step's frame and its answer take on the wire at 9600 baud
// (ten bits a byte), rounded up to a whole millisecond: 42 for a read, 8
// for a save; 0 for a step that has no answer. A wait shorter than this can
// never see the answer whole.
int WireMs(ModuleStep::Kind kind);

// The one text form of a step's kind ("color", "mode", ... "save") and back.
QString StepName(ModuleStep::Kind kind);
std::optional<ModuleStep::Kind> StepKindNamed(const QString &name);

// Why a step did not do what it was asked.
enum class ReplyFault {
    None,
    Aborted,     // the wait ended early: Disconnect, close, or the port was lost
    NoAnswer,    // nothing came back
    Short,       // fewer bytes than the answer has
    BadStart,    // a settings reply that does not start like one
    OutOfRange,  // a settings reply with a list position outside its list
    WrongAck,    // an acknowledgement other than FE AA
    LateAnswer,  // what came is recognisably the answer to an earlier command
    SendFailed,  // the frame did not go out whole
    NotHeld,     // the window let go of the device before the step
    Unplugged,   // the device went away during the step (unplugged, or its far end closed)
    Stopped,     // the program was asked to stop (Ctrl+C, a signal) before the step was done
    TooLong,     // a settings reply longer than one: a byte in the middle would shift the slots
    WrongScheme, // a raw network line whose server speaks telnet: it wants rfc2217://
};

// The one text form of a fault ("no-answer", ...) and back; None is "".
QString FaultName(ReplyFault fault);
ReplyFault FaultNamed(const QString &name);

// How a step went, and for Read the settings that came back.
struct StepOutcome : Result<ReplyFault>
{
    int count = 0; // bytes waiting after the wait
    ModuleSettings settings;
    // The device, where the answer came short or not at all and processes
    // of other users, whose open files this user cannot see, might hold it
    // and have taken the answer; empty otherwise.
    QString unseenHolderOf;
};

// A read that vouches for the module's settings only where its answer was
// exactly one settings reply: a longer one (a byte inserted in the middle
// shifts every slot after it) fails as TooLong.
StepOutcome WholeAnswerOnly(const StepOutcome &read);

} // namespace lumavera
