#include "support/pty.h"

#include "link/commandframe.h"
#include "settings/ini.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/resource.h>
#include <unistd.h>

Pty::Pty()
{
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = QString::fromLocal8Bit(name);
    // Start from settings the tool must change: raw, but 38400 baud, 7E2.
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    ::cfsetispeed(&t, B38400);
    ::cfsetospeed(&t, B38400);
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB;
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    // Programs the tests start must not hold the line's ends by inheritance.
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

Pty::~Pty()
{
    closeMaster();
    if (slave_ >= 0)
        ::close(slave_);
}

void Pty::stopOutput()
{
    ::tcflow(slave_, TCOOFF);
}

termios Pty::slaveSettings() const
{
    termios t{};
    ::tcgetattr(slave_, &t);
    return t;
}

QByteArray Pty::read(int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && master_ >= 0) {
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, left) <= 0)
            continue;
        char buf[512];
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
    return got;
}

QByteArray Pty::readAll(int timeoutMs)
{
    return read(1 << 20, timeoutMs);
}

void Pty::write(const QByteArray &bytes)
{
    // A line nobody reads takes nothing more: give up after a while rather
    // than spin.
    QElapsedTimer clock;
    clock.start();
    qsizetype done = 0;
    while (done < bytes.size() && master_ >= 0 && clock.elapsed() < 2000) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
    }
}

void Pty::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

TestModule::TestModule(VirtualModule::Options options, const ModuleSettings &eeprom)
{
    options.paced = false;
    options.eepromFile = folder.filePath(QStringLiteral("eeprom"));
    QFile image(options.eepromFile);
    if (!image.open(QIODevice::WriteOnly) || image.write(EncodeSettingsReply(eeprom)) < 0)
        throw std::runtime_error("cannot write the EEPROM image");
    image.close();
    module = std::make_unique<VirtualModule>(options);
    QObject::connect(module.get(), &VirtualModule::heard,
                     [this](const QByteArray &bytes) { heard += bytes; });
    QString error;
    if (!module->start(&error))
        throw std::runtime_error(error.toStdString());
}

BoxAnswerer::BoxAnswerer(QObject *parent) : QObject(parent), answer(0)
{
    auto *timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &BoxAnswerer::poll);
    timer->start(10);
}

QStringList BoxAnswerer::texts() const
{
    QStringList list;
    for (const Seen &s : seen)
        list << s.text;
    return list;
}

void BoxAnswerer::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    const auto which = [box](QAbstractButton *b) { return b ? int(box->standardButton(b)) : 0; };
    seen.append({box->windowTitle(), box->text(), box->informativeText(),
                 which(box->defaultButton()), which(box->escapeButton())});
    QAbstractButton *button = answer ? box->button(QMessageBox::StandardButton(answer)) : nullptr;
    if (!button)
        button = box->defaultButton() ? static_cast<QAbstractButton *>(box->defaultButton())
                                      : box->escapeButton();
    if (!button && !box->buttons().isEmpty())
        button = box->buttons().first();
    if (button)
        button->click();
}

ModuleSettings SampleSettings()
{
    ModuleSettings s;
    s.mode = 3;
    s.fade = 1;
    s.hold = 10;
    for (int i = 0; i < SlotCount; ++i)
        s.slotColors[i] = {std::uint8_t(200 + i), std::uint8_t(20 * i), std::uint8_t(7 * i + 3)};
    return s;
}

TempConfig::TempConfig()
{
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/lumavera-test-XXXXXX"));
    dir.setAutoRemove(false);
    root_ = dir.path();
    qputenv("XDG_CONFIG_HOME", root_.toLocal8Bit());
}

TempConfig::~TempConfig()
{
    QDir(root_).removeRecursively();
}

QString TempConfig::iniPath() const
{
    return IniPath();
}

void TempConfig::write(const QByteArray &content) const
{
    QDir().mkpath(IniFolder());
    QFile f(iniPath());
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
}

QByteArray TempConfig::read() const
{
    QFile f(iniPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TempConfig::remove() const
{
    QFile::remove(iniPath());
}
