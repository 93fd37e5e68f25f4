#include "link/telnet.h"

#include <utility>

namespace lumavera {

namespace {

constexpr char Iac = char(0xFF);
constexpr std::uint8_t Se = 240, Sb = 250, Will = 251, Wont = 252, Do = 253, Dont = 254;
constexpr std::uint8_t Binary = 0, SuppressGoAhead = 3;

QByteArray command(std::uint8_t verb, std::uint8_t option)
{
    const char bytes[] = {Iac, char(verb), char(option)};
    return QByteArray(bytes, 3);
}

// What this client will do at its end, and let the server do at its end:
// an 8-bit clean line, no go-aheads, and (ours only) the serial settings.
bool weMay(std::uint8_t option)
{
    return option == Binary || option == SuppressGoAhead || option == TelnetStream::ComPortOption;
}
bool theyMay(std::uint8_t option)
{
    return option == Binary || option == SuppressGoAhead;
}

} // namespace

QByteArray TelnetStream::escaped(const QByteArray &data)
{
    if (!data.contains(Iac))
        return data;
    QByteArray out;
    out.reserve(data.size() * 2);
    for (const char c : data) {
        out += c;
        if (c == Iac)
            out += Iac;
    }
    return out;
}

QByteArray TelnetStream::greeting()
{
    askedOurs_[ComPortOption] = askedOurs_[Binary] = askedTheirs_[Binary] = true;
    askedOurs_[SuppressGoAhead] = askedTheirs_[SuppressGoAhead] = true;
    return command(Will, ComPortOption) + command(Will, Binary) + command(Do, Binary) +
           command(Will, SuppressGoAhead) + command(Do, SuppressGoAhead);
}

QByteArray TelnetStream::comPortCommand(ComPortCommand which, const QByteArray &value)
{
    const char head[] = {Iac, char(Sb), char(ComPortOption), char(which)};
    const char tail[] = {Iac, char(Se)};
    return QByteArray(head, 4) + escaped(value) + QByteArray(tail, 2);
}

QByteArray TelnetStream::feed(const QByteArray &bytes, QByteArray *answer)
{
    QByteArray data;
    for (const char c : bytes) {
        const auto b = std::uint8_t(c);
        switch (state_) {
        case State::Data:
            if (c == Iac)
                state_ = State::Command;
            else
                data += c;
            break;
        case State::Command:
            state_ = State::Data;
            if (c == Iac) {
                data += Iac;
            } else if (b >= Will && b <= Dont) {
                verb_ = b;
                state_ = State::Option;
            } else if (b == Sb) {
                sub_.clear();
                state_ = State::Sub;
            }
            // Other commands (NOP, go-ahead, a break's mark) carry no data.
            break;
        case State::Option:
            negotiate(verb_, b, answer);
            state_ = State::Data;
            break;
        case State::Sub:
            if (c == Iac)
                state_ = State::SubCommand;
            else if (sub_.size() < 64) // a server's subnegotiation is short
                sub_ += c;
            break;
        case State::SubCommand:
            if (c == Iac) {
                if (sub_.size() < 64)
                    sub_ += Iac;
                state_ = State::Sub;
            } else {
                // IAC SE ends it; anything else after IAC ends it too.
                subnegotiation();
                state_ = State::Data;
            }
            break;
        }
    }
    return data;
}

void TelnetStream::negotiate(std::uint8_t verb, std::uint8_t option, QByteArray *answer)
{
    negotiated_ = true;
    // Answered only when the option changes state, and an offer refused
    // once is not refused again: two ends never echo each other's answers
    // for ever, and a server repeating itself gets no answer to each.
    if (verb == Will || verb == Wont) {
        const bool on = verb == Will && theyMay(option);
        const bool asked = std::exchange(askedTheirs_[option], false);
        const bool refusal = verb == Will && !on && !std::exchange(refusedTheirs_[option], true);
        if (on != theirs_[option] || refusal) {
            theirs_[option] = on;
            if (!asked || !on)
                *answer += command(on ? Do : Dont, option);
        }
    } else {
        const bool on = verb == Do && weMay(option);
        const bool asked = std::exchange(askedOurs_[option], false);
        if (option == ComPortOption && !on)
            comPortRefused_ = true;
        const bool refusal = verb == Do && !on && !std::exchange(refusedOurs_[option], true);
        if (on != ours_[option] || refusal) {
            ours_[option] = on;
            if (!asked || !on)
                *answer += command(on ? Will : Wont, option);
        }
    }
}

void TelnetStream::subnegotiation()
{
    negotiated_ = true;
    if (sub_.size() < 2 || std::uint8_t(sub_[0]) != ComPortOption)
        return;
    const auto code = std::uint8_t(sub_[1]);
    if (code > 100 && code <= 112)
        replies_.append({std::uint8_t(code - 100), sub_.sliced(2)});
}

TelnetStream::Agreement TelnetStream::binary() const
{
    if (askedOurs_[Binary] || askedTheirs_[Binary])
        return Agreement::Pending;
    return ours_[Binary] && theirs_[Binary] ? Agreement::Agreed : Agreement::Refused;
}

QList<TelnetStream::ComPortReply> TelnetStream::takeComPortReplies()
{
    return std::exchange(replies_, {});
}

} // namespace lumavera
