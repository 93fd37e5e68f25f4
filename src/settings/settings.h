#pragma once

#include "link/reply.h"
#include "settings/inifile.h"

#include <QMap>
#include <QString>

#include <array>
#include <optional>

namespace lumavera {

// What the settings file holds, typed: the port last chosen, the ten slot
// colours and the numbers pinned to devices. One load() reads the file once;
// the edit builders below describe a change that IniFile::write() applies in
// one replace.
struct Settings
{
    // The text stored under "Settings" / "CommPort", as it stands.
    QString commPortText;
    // Each slot's colour, when all three of its levels are whole numbers 0..255.
    std::array<std::optional<Rgb>, SlotCount> slotColors{};
    // "Ports": COMn=path, pinned by the user or by the tool.
    QMap<int, QString> pins;
    // Whether the file could be used (see IniText).
    ReadResult usable;
    // What the file holds that the tool cannot mean and so passes over, one
    // line each for a person ("[Ports] COM25 is not a port number ...").
    QStringList ignored;

    // The port number to start on: CommPort when it is 1..20, as the file
    // keeps it ("3") or as people write it ("COM3"), else COM1 (a first run,
    // or a value of some other program's).
    int commPort() const;

    static Settings parse(const QByteArray &content);
    static Settings load(const QString &path);
};

// The key a slot's level is stored under: "Red1".."Blue10" for slots 0..9.
QString SlotKey(const QString &colour, int slot);

// "Settings" / "CommPort".
QList<IniEdit> CommPortEdits(const QString &setting);

// The three levels of one slot, red, green, blue; nothing for a slot outside 0..9.
QList<IniEdit> SlotColorEdits(int slot, const Rgb &colour);

// All thirty levels in table order: Red1..Red10, Green1..Green10, Blue1..Blue10.
QList<IniEdit> SlotTableEdits(const std::array<std::uint8_t, SlotCount> &red,
                              const std::array<std::uint8_t, SlotCount> &green,
                              const std::array<std::uint8_t, SlotCount> &blue);
QList<IniEdit> SlotTableEdits(const std::array<Rgb, SlotCount> &colours);

// "Ports" / "COMn" = path.
QList<IniEdit> PinEdits(int number, const QString &path);

// The settings file as the window and lumaveractl use it: read once per
// action, and each change written in one locked, atomic replace that keeps
// every other byte of the file.
class SettingsStore
{
public:
    explicit SettingsStore(QString path);

    QString path() const { return file_.path(); }
    Settings load() const;

    WriteResult saveCommPort(const QString &setting) const;
    WriteResult saveSlot(int slot, const Rgb &colour) const;
    // All ten slots, in table order.
    WriteResult saveSlots(const std::array<Rgb, SlotCount> &colours) const;
    // COMn pinned to `path`; an empty path removes the pin and keeps the
    // line where the user may find it.
    WriteResult pin(int number, const QString &path) const;

private:
    IniFile file_;
};

} // namespace lumavera
