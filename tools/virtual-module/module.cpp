#include "module.h"

#include <QFile>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace lumavera {

namespace {
// Three bytes that are neither a start marker nor an acknowledgement.
const QByteArray Noise("\x13\x00\x37", 3);
// One byte at 9600 baud: a start bit, eight data bits and a stop bit.
constexpr qint64 ByteNs = 10 * 1000000000LL / 9600;
} // namespace

VirtualModule::VirtualModule(const Options &options, QObject *parent)
    : QObject(parent), options_(options)
{
    clock_.start();
    pacer_ = new QTimer(this);
    pacer_->setSingleShot(true);
    pacer_->setTimerType(Qt::PreciseTimer);
    connect(pacer_, &QTimer::timeout, this, &VirtualModule::drain);
}

VirtualModule::~VirtualModule()
{
    stop();
}

void VirtualModule::stop()
{
    delete notifier_;
    notifier_ = nullptr;
    pacer_->stop();
    outgoing_.clear();
    if (linked_)
        ::unlink(QFile::encodeName(options_.link).constData());
    linked_ = false;
    if (slave_ >= 0)
        ::close(slave_);
    if (master_ >= 0)
        ::close(master_);
    slave_ = master_ = -1;
}

bool VirtualModule::start(QString *error)
{
    // What it knows when it is switched on is what its EEPROM holds.
    state_ = ModuleSettings();
    colour_ = Rgb();
    finder_ = FrameFinder();
    loadEeprom();
    // Neither end is passed on to a program started beside it (where it plays
    // in-process): that program would hold the line's far end and pass for
    // the module.
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *error = QStringLiteral("cannot create a pseudo-terminal: %1").arg(qt_error_string(errno));
        return false;
    }
    devicePath_ = QString::fromLocal8Bit(::ptsname(master_));
    // Holding the slave end open ourselves keeps the line up while the tool
    // connects and disconnects; raw mode so no byte is changed or echoed.
    slave_ = ::open(QFile::encodeName(devicePath_).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        *error = QStringLiteral("cannot open %1: %2").arg(devicePath_, qt_error_string(errno));
        return false;
    }
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(slave_, TCSANOW, &t);

    if (!options_.link.isEmpty()) {
        const QByteArray link = QFile::encodeName(options_.link);
        // Replace a stale link from an earlier run, never a real file.
        struct stat st
        {
        };
        if (::lstat(link.constData(), &st) == 0 && S_ISLNK(st.st_mode))
            ::unlink(link.constData());
        if (::symlink(QFile::encodeName(devicePath_).constData(), link.constData()) != 0) {
            *error = QStringLiteral("cannot make the link %1: %2")
                         .arg(options_.link, qt_error_string(errno));
            return false;
        }
        linked_ = true;
    }

    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &VirtualModule::onReadable);
    return true;
}

void VirtualModule::onReadable()
{
    char buf[256];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0)
        return;
    if (!attached_)
        return;
    emit heard(QByteArray(buf, n));
    for (const Frame &frame : finder_.feed(QByteArray(buf, n), clock_.elapsed())) {
        const Outcome out = handle(frame);
        emit printed(out.line);
        if (out.answer.isEmpty())
            continue;
        if (options_.delayMs > 0)
            QTimer::singleShot(options_.delayMs, this, [this, a = out.answer] { send(a); });
        else
            send(out.answer);
    }
}

void VirtualModule::setAttached(bool attached)
{
    if (attached && !attached_) {
        state_ = ModuleSettings();
        loadEeprom();
        emit changed();
    }
    attached_ = attached;
}

void VirtualModule::send(const QByteArray &bytes)
{
    const QByteArray all = options_.noise ? Noise + bytes : bytes;
    if (options_.paced && outgoing_.isEmpty()) {
        // The command reached a real module only as its last byte came in.
        const qint64 now = clock_.nsecsElapsed();
        nextByteNs_ =
            std::max(nextByteNs_, now + qint64(std::tuple_size_v<Frame>) * ByteNs) + ByteNs;
    }
    outgoing_ += all;
    drain();
}

void VirtualModule::drain()
{
    qsizetype due = outgoing_.size();
    if (options_.paced) {
        const qint64 now = clock_.nsecsElapsed();
        due = now < nextByteNs_ ? 0 : std::min(outgoing_.size(), 1 + (now - nextByteNs_) / ByteNs);
        nextByteNs_ += due * ByteNs;
    }
    qsizetype done = 0;
    while (done < due && master_ >= 0) {
        const ssize_t n = ::write(master_, outgoing_.constData() + done, size_t(due - done));
        if (n > 0)
            done += n;
        else if (errno != EAGAIN && errno != EINTR)
            break;
    }
    outgoing_.remove(0, due);
    if (!outgoing_.isEmpty()) {
        const qint64 waitNs = nextByteNs_ - clock_.nsecsElapsed();
        pacer_->start(int(std::max<qint64>(0, (waitNs + 999999) / 1000000)));
    }
}

VirtualModule::Outcome VirtualModule::handle(const Frame &f)
{
    Outcome out{DescribeFrame(f), {}};
    const std::uint8_t code = f[1];
    // A list position the module has no setting for is ignored, as firmware would.
    const auto setWithin = [&](std::uint8_t &setting, int max) {
        if (f[2] <= max)
            setting = f[2];
        else
            out.line += QStringLiteral(" (out of range, ignored)");
    };
    const ModuleSettings before = state_;
    if (code == SetColor.code) {
        colour_ = {f[2], f[3], f[4]};
    } else if (code >= StoreSlot.code && code < StoreSlot.code + SlotCount) {
        state_.slotColors[code - StoreSlot.code] = {f[2], f[3], f[4]};
    } else if (code == SetFade.code) {
        setWithin(state_.fade, MaxFade);
    } else if (code == SetHold.code) {
        setWithin(state_.hold, MaxHold);
    } else if (code == SetMode.code) {
        setWithin(state_.mode, MaxMode);
    } else if (code == SaveToEeprom.code) {
        const bool saved = options_.silent || saveEeprom();
        if (options_.silent) {
            out.line += QStringLiteral(" -> (silent)");
        } else {
            out.answer =
                options_.answer.value_or(QByteArray(1, char(SaveAckFirst)) +
                                         char(options_.badAck ? SaveAckSecond + 1 : SaveAckSecond));
            out.line +=
                out.answer.isEmpty()
                    ? QStringLiteral(" -> (silent)")
                    : QStringLiteral(" -> ") + QString::fromLatin1(out.answer.toHex(' ').toUpper());
        }
        if (!saved)
            out.line += QStringLiteral(" (EEPROM file not written)");
    } else if (code == ReadModuleSettings.code) {
        if (options_.silent) {
            out.line += QStringLiteral(" -> (silent)");
        } else {
            out.answer = options_.answer.value_or(EncodeSettingsReply(state_));
            if (options_.shortReply)
                out.answer.chop(1);
            out.line += QStringLiteral(" -> %1 bytes").arg(out.answer.size());
        }
    }
    if (options_.forget && EncodeSettingsReply(state_) != EncodeSettingsReply(before)) {
        state_ = before;
        out.line += QStringLiteral(" (forgotten)");
    }
    if (options_.delayMs > 0 && !out.answer.isEmpty())
        out.line += QStringLiteral(" (after %1 ms)").arg(options_.delayMs);
    if (options_.noise && !out.answer.isEmpty())
        out.line += QStringLiteral(" (noise first)");
    emit changed();
    return out;
}

void VirtualModule::loadEeprom()
{
    if (options_.eepromFile.isEmpty())
        return;
    QFile file(options_.eepromFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // The EEPROM image is the module's own settings reply.
    if (const auto saved = DecodeSettingsReply(file.read(SettingsReplyLength)))
        state_ = *saved;
}

bool VirtualModule::saveEeprom()
{
    if (options_.eepromFile.isEmpty())
        return true;
    QSaveFile file(options_.eepromFile);
    return file.open(QIODevice::WriteOnly) &&
           file.write(EncodeSettingsReply(state_)) == SettingsReplyLength && file.commit();
}

} // namespace lumavera
