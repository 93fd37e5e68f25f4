#include "link/serialport.h"

#include "link/devicecheck.h"

#include <QFileInfo>

#include <chrono>
#include <utility>

#include <unistd.h>

SerialPort::SerialPort(QObject *parent) : QObject(parent)
{
    port_.setReadBufferSize(ReceiveBufferSize);
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialPort::onError);
    connect(&port_, &QSerialPort::readyRead, this, &SerialPort::take);
}

SerialPort::~SerialPort()
{
    setPortOpen(false);
}

QString SerialPort::holder()
{
    return lookup_.valid() ? lookup_.get() : QString();
}

void SerialPort::dropHolderLookup()
{
    if (!lookup_.valid())
        return;
    *cancelLookup_ = true;
    lookup_.get();
}

void SerialPort::setDevicePath(const QString &path)
{
    if (!port_.isOpen())
        path_ = path;
}

bool SerialPort::setPortOpen(bool open)
{
    if (!open) {
        dropHolderLookup();
        losing_ = false;
        if (!port_.isOpen())
            return true;
        // close() drops whatever Qt still holds; hand it to the system first.
        while (port_.bytesToWrite() > 0 && port_.waitForBytesWritten(2000)) {
        }
        port_.close();
        buffer_.clear();
        return true;
    }
    if (port_.isOpen())
        return true;

    openError_.clear();
    if (path_.isEmpty()) {
        openError_ = tr("No device is assigned to this port number.");
        return false;
    }
    // Opened by the real device name: Qt's lock file is named after it, so a
    // device reached through two names (a pin and the system's name) has one
    // lock, and a long link name cannot make the lock's name too long.
    const QString real = QFileInfo(path_).canonicalFilePath();
    port_.setPortName(real.isEmpty() ? path_ : real);
    port_.setBaudRate(QSerialPort::Baud9600);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        const QByteArray native = QFileInfo(path_).absoluteFilePath().toLocal8Bit();
        switch (port_.error()) {
        case QSerialPort::DeviceNotFoundError:
            openError_ = tr("There is no device %1.").arg(path_);
            break;
        case QSerialPort::PermissionError: {
            // Qt reports a busy device and a refused one alike; the file's
            // access rights and /proc tell them apart.
            if (::access(native.constData(), R_OK | W_OK) != 0) {
                openError_ = PermissionAdvice(path_);
            } else {
                const QString holder = DeviceHolder(path_);
                openError_ = holder.isEmpty() ? tr("%1 is in use by another program.").arg(path_)
                                              : tr("%1 is in use by %2.").arg(path_, holder);
            }
            break;
        }
        default:
            openError_ = tr("%1 could not be opened: %2.").arg(path_, port_.errorString());
            break;
        }
        port_.clearError();
        return false;
    }
    // A program that holds the device without a lock (a terminal, a modem
    // prober) would take the module's answers: say which, and stay closed.
    if (const QString holder =
            holderCheck_ == HolderCheck::BeforeOpen ? DeviceHolder(path_) : QString();
        !holder.isEmpty()) {
        port_.close();
        openError_ = tr("%1 is in use by %2.").arg(path_, holder);
        return false;
    }
    if (holderCheck_ == HolderCheck::Alongside) {
        cancelLookup_ = std::make_shared<std::atomic_bool>(false);
        lookup_ = std::async(std::launch::async, [path = path_, cancel = cancelLookup_] {
            return DeviceHolder(path, cancel.get());
        });
    }
    // Bytes the system still holds from before this program opened the line
    // stay for the caller to throw away, and to show that it did.
    port_.clear(QSerialPort::Output);
    losing_ = false;
    return true;
}

bool SerialPort::output(const QByteArray &bytes)
{
    outputError_.clear();
    if (!port_.isOpen()) {
        outputError_ = tr("The port is not open.");
        return false;
    }
    bool whole = port_.write(bytes) == bytes.size();
    port_.flush();
    // A line that takes nothing for a second (output stopped by flow
    // control, a wedged adapter) did not get the frame.
    while (whole && port_.bytesToWrite() > 0)
        whole = port_.waitForBytesWritten(1000);
    if (whole && port_.error() != QSerialPort::WriteError &&
        port_.error() != QSerialPort::ResourceError)
        return true;
    outputError_ =
        port_.error() == QSerialPort::TimeoutError || port_.bytesToWrite() > 0
            ? tr("%1 took none of the frame within a second (is its output stopped?).").arg(path_)
            : tr("The frame could not be written to %1: %2.").arg(path_, port_.errorString());
    // Nothing of a frame reported as failed may go out later.
    if (port_.isOpen())
        port_.clear(QSerialPort::Output);
    if (port_.error() == QSerialPort::TimeoutError)
        port_.clearError();
    return false;
}

void SerialPort::take()
{
    const qint64 room = ReceiveBufferSize - buffer_.size();
    if (room <= 0 || !port_.isOpen())
        return;
    const QByteArray bytes = port_.read(room);
    if (bytes.isEmpty())
        return;
    lastArrivalNs_ = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
    buffer_ += bytes;
    emit arrived(bytes, lastArrivalNs_);
}

void SerialPort::pullPending()
{
    // Bytes the system holds but the event loop has not fetched yet belong
    // in the count too. A few rounds are enough: the buffer is bounded.
    for (int i = 0; i < 4 && port_.isOpen() && port_.waitForReadyRead(0); ++i) {
    }
}

int SerialPort::inBufferCount()
{
    pullPending();
    take();
    return int(buffer_.size());
}

QByteArray SerialPort::input()
{
    take();
    return std::exchange(buffer_, {});
}

QByteArray SerialPort::peek()
{
    take();
    return buffer_;
}

QByteArray SerialPort::discardInput()
{
    QByteArray gone;
    // Read rather than clear, so that every byte thrown away can be shown.
    // The receive buffer is bounded, so a module flooding the line cannot
    // keep this loop going.
    for (int i = 0; i < 64 && port_.isOpen(); ++i) {
        gone += input();
        if (!port_.waitForReadyRead(0))
            break;
    }
    return gone + input();
}

void SerialPort::onError(QSerialPort::SerialPortError error)
{
    const bool fatal = error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
                       error == QSerialPort::WriteError;
    if (!fatal || !port_.isOpen() || losing_)
        return;
    // Qt keeps reporting the error for as long as the dead port stays open;
    // close it once, from the event loop rather than inside Qt's own handler.
    losing_ = true;
    QMetaObject::invokeMethod(this, &SerialPort::closeLostPort, Qt::QueuedConnection);
}

void SerialPort::closeLostPort()
{
    if (!losing_)
        return;
    // Errors raised while closing the dead port belong to this same loss.
    if (port_.isOpen()) {
        port_.clear(QSerialPort::AllDirections);
        port_.close();
        buffer_.clear();
    }
    losing_ = false;
    emit lost();
}
