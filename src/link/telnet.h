#pragma once

#include <QByteArray>
#include <QList>

#include <array>
#include <cstdint>

namespace lumavera {

// The client's side of telnet as serial servers speak it (RFC 854, with the
// COM-PORT-OPTION of RFC 2217): every 0xFF of the data doubled, options the
// server offers answered, and its answers to the serial settings collected.
// Bytes of the data never include a byte of negotiation, wherever in the
// stream the server starts one.
class TelnetStream
{
public:
    static constexpr std::uint8_t ComPortOption = 44;
    // RFC 2217's client commands; the server answers each with 100 more.
    enum ComPortCommand : std::uint8_t {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
        PurgeData = 12,
    };
    struct ComPortReply
    {
        std::uint8_t command = 0; // the client command it answers
        QByteArray value;
    };

    // The data as it goes out: each 0xFF doubled.
    static QByteArray escaped(const QByteArray &data);
    // What the client says first: it will speak COM-PORT-OPTION and asks
    // for an 8-bit clean line both ways.
    QByteArray greeting();
    // One COM-PORT-OPTION command with its value.
    static QByteArray comPortCommand(ComPortCommand command, const QByteArray &value);

    // Takes bytes from the server; returns the data among them, and appends
    // to `answer` what must go back to the server.
    QByteArray feed(const QByteArray &bytes, QByteArray *answer);
    // The server's answers to COM-PORT-OPTION commands since the last call.
    QList<ComPortReply> takeComPortReplies();
    // Whether the server took an 8-bit clean line both ways (BINARY, which
    // the greeting asks for), has yet to say, or refused it.
    enum class Agreement { Pending, Agreed, Refused };
    Agreement binary() const;
    // The server has spoken telnet: an option or a subnegotiation.
    bool negotiated() const { return negotiated_; }
    // The server said it will not take COM-PORT-OPTION.
    bool comPortRefused() const { return comPortRefused_; }

private:
    void negotiate(std::uint8_t verb, std::uint8_t option, QByteArray *answer);
    void subnegotiation();

    enum class State { Data, Command, Option, Sub, SubCommand };
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    QByteArray sub_;
    // Options on at our end and at the server's, and those we asked for.
    std::array<bool, 256> ours_{};
    std::array<bool, 256> theirs_{};
    std::array<bool, 256> askedOurs_{};
    std::array<bool, 256> askedTheirs_{};
    // Offers already refused.
    std::array<bool, 256> refusedOurs_{};
    std::array<bool, 256> refusedTheirs_{};
    QList<ComPortReply> replies_;
    bool comPortRefused_ = false;
    bool negotiated_ = false;
};

} // namespace lumavera
