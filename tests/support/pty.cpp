#include "support/pty.h"

#include "link/commandframe.h"
#include "settings/ini.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

using namespace lumavera;

Pty::Pty()
{
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slavePath_ = QString::fromLocal8Bit(name);
    // Programs the tests start must not hold the line's ends by inheritance.
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

Pty::~Pty()
{
    closeMaster();
    ::close(slave_);
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
    options.link = folder.filePath(QStringLiteral("module"));
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
    // As a person reads it: the word joiners that keep a path on one line
    // are not seen.
    const auto read = [](QString text) { return text.remove(QChar(0x2060)); };
    seen.append({box->windowTitle(), read(box->text()), read(box->informativeText()),
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
