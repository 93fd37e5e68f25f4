#include "settings/settings.h"

#include "settings/profile.h"
#include "settings/texts.h"

namespace lumavera {

namespace {

const QString ColorsSection = QStringLiteral("Colors");
const QString Red = QStringLiteral("Red");
const QString Green = QStringLiteral("Green");
const QString Blue = QStringLiteral("Blue");

// A stored colour level, or -1 when the text is not a whole number 0..255.
int level(QByteArrayView text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 && value <= 255 ? value : -1;
}

bool named(QByteArrayView name, QByteArrayView want)
{
    return name.compare(want, Qt::CaseInsensitive) == 0;
}

// The number after `prefix` in a key ("Red7" -> 7, "COM12" -> 12), exactly as
// the tool spells it (no sign, no leading zero), or -1.
int numberAfter(QByteArrayView key, QByteArrayView prefix, int max)
{
    if (key.size() <= prefix.size() || !named(key.first(prefix.size()), prefix))
        return -1;
    const QByteArrayView digits = key.sliced(prefix.size());
    for (char c : digits) {
        if (c < '0' || c > '9')
            return -1;
    }
    if (digits.startsWith('0') || digits.size() > 3)
        return -1;
    const int n = digits.toInt();
    return n >= 1 && n <= max ? n : -1;
}

} // namespace

namespace {

// The number CommPort names: "3" as the file keeps it, or "COM3" as people
// write it; 0 for anything else.
int commPortNumber(const QString &text)
{
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        digits = digits.mid(3);
    bool ok = false;
    const int number = digits.toInt(&ok);
    return ok && number >= 1 && number <= 20 && !digits.startsWith(u'+') ? number : 0;
}

// A section whose name is one the tool reads but for a letter people
// often change ([Port], [Colours], [Setting]).
bool nearlyNamed(QByteArrayView section, QByteArrayView want)
{
    const auto plain = [](QByteArrayView name) {
        QByteArray n = name.toByteArray().trimmed().toLower().replace("colour", "color");
        if (n.endsWith('s'))
            n.chop(1);
        return n;
    };
    return !named(section, want) && plain(section) == plain(want);
}

} // namespace

int Settings::commPort() const
{
    const int number = commPortNumber(commPortText);
    return number > 0 ? number : 1;
}

Settings Settings::parse(const QByteArray &content)
{
    Settings s;
    bool commPortSeen = false;
    std::array<int, SlotCount> levels[3];
    std::array<bool, SlotCount> seen[3];
    for (int c = 0; c < 3; ++c) {
        levels[c].fill(-1);
        seen[c].fill(false);
    }
    std::array<bool, 20> pinSeen{};
    const QByteArrayView prefixes[3] = {"Red", "Green", "Blue"};
    // One pass over the file; the first of each key counts, as for a reader.
    profile::forEachKey(
        content, [&](QByteArrayView section, QByteArrayView key, QByteArrayView value) {
            value = value.first(std::min(value.size(), profile::MaxValueLength));
            if (named(section, "Settings")) {
                if (named(key, "CommPort") && !commPortSeen) {
                    commPortSeen = true;
                    s.commPortText = QString::fromUtf8(value);
                }
            } else if (named(section, "Colors")) {
                for (int c = 0; c < 3; ++c) {
                    const int slot = numberAfter(key, prefixes[c], SlotCount) - 1;
                    if (slot >= 0 && !seen[c][slot]) {
                        seen[c][slot] = true;
                        levels[c][slot] = level(value);
                    }
                }
            } else if (named(section, "Ports")) {
                const int number = numberAfter(key, "COM", 20);
                if (number < 0)
                    s.ignored << SettingsTexts::tr("[Ports] %1 is not a port number (COM1..COM20)")
                                     .arg(QString::fromUtf8(key).trimmed());
                if (number > 0 && !pinSeen[number - 1]) {
                    pinSeen[number - 1] = true;
                    if (!value.isEmpty())
                        s.pins.insert(number, QString::fromUtf8(value));
                }
            } else {
                for (const char *known : {"Settings", "Colors", "Ports"}) {
                    const QString line =
                        SettingsTexts::tr("[%1] is not a section the tool reads; "
                                          "did you mean [%2]?")
                            .arg(QString::fromUtf8(section).trimmed(), QLatin1String(known));
                    if (nearlyNamed(section, known) && !s.ignored.contains(line))
                        s.ignored << line;
                }
            }
        });
    if (commPortSeen && !s.commPortText.trimmed().isEmpty() && commPortNumber(s.commPortText) == 0)
        s.ignored.prepend(SettingsTexts::tr("[Settings] CommPort=%1 is not a port number 1..20, "
                                            "so COM1 is chosen")
                              .arg(s.commPortText));
    for (int i = 0; i < SlotCount; ++i) {
        if (levels[0][i] >= 0 && levels[1][i] >= 0 && levels[2][i] >= 0)
            s.slotColors[i] = Rgb{std::uint8_t(levels[0][i]), std::uint8_t(levels[1][i]),
                                  std::uint8_t(levels[2][i])};
    }
    return s;
}

Settings Settings::load(const QString &path)
{
    return SettingsStore(path).load();
}

QString SlotKey(const QString &colour, int slot)
{
    return colour + QString::number(slot + 1);
}

QList<IniEdit> CommPortEdits(const QString &setting)
{
    return {{QStringLiteral("Settings"), QStringLiteral("CommPort"), setting}};
}

QList<IniEdit> SlotColorEdits(int slot, const Rgb &colour)
{
    if (slot < 0 || slot >= SlotCount)
        return {};
    return {{ColorsSection, SlotKey(Red, slot), QString::number(colour.red)},
            {ColorsSection, SlotKey(Green, slot), QString::number(colour.green)},
            {ColorsSection, SlotKey(Blue, slot), QString::number(colour.blue)}};
}

QList<IniEdit> SlotTableEdits(const std::array<std::uint8_t, SlotCount> &red,
                              const std::array<std::uint8_t, SlotCount> &green,
                              const std::array<std::uint8_t, SlotCount> &blue)
{
    QList<IniEdit> edits;
    const auto table = [&](const QString &name, const std::array<std::uint8_t, SlotCount> &t) {
        for (int i = 0; i < SlotCount; ++i)
            edits.append({ColorsSection, SlotKey(name, i), QString::number(t[i])});
    };
    table(Red, red);
    table(Green, green);
    table(Blue, blue);
    return edits;
}

QList<IniEdit> SlotTableEdits(const std::array<Rgb, SlotCount> &colours)
{
    std::array<std::uint8_t, SlotCount> red{}, green{}, blue{};
    for (int i = 0; i < SlotCount; ++i) {
        red[i] = colours[i].red;
        green[i] = colours[i].green;
        blue[i] = colours[i].blue;
    }
    return SlotTableEdits(red, green, blue);
}

QList<IniEdit> PinEdits(int number, const QString &path)
{
    return {{QStringLiteral("Ports"), QStringLiteral("COM%1").arg(number), path}};
}

SettingsStore::SettingsStore(QString path) : file_(std::move(path)) {}

Settings SettingsStore::load() const
{
    const IniText text = file_.read();
    Settings s = Settings::parse(text.content);
    s.usable = text.usable;
    return s;
}

WriteResult SettingsStore::saveCommPort(const QString &setting) const
{
    return file_.write(CommPortEdits(setting));
}

WriteResult SettingsStore::saveSlot(int slot, const Rgb &colour) const
{
    return file_.write(SlotColorEdits(slot, colour));
}

WriteResult SettingsStore::saveSlots(const std::array<Rgb, SlotCount> &colours) const
{
    return file_.write(SlotTableEdits(colours));
}

WriteResult SettingsStore::pin(int number, const QString &path) const
{
    return file_.write(PinEdits(number, path));
}

} // namespace lumavera
