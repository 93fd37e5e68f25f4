#include "ctl/options.h"
#include "ctl/texts.h"
#include "link/modulestep.h"
#include "link/networkport.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <algorithm>

namespace lumavera {

namespace {

// A whole number from `min` to `max` written as plain decimal digits.
std::optional<int> number(const QString &text, int min, int max)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,5}$"));
    if (!digits.match(text).hasMatch())
        return std::nullopt;
    const int n = text.toInt();
    return n >= min && n <= max ? std::optional(n) : std::nullopt;
}

struct CtlCommandInfo
{
    const char *name;
    CtlOptions::Command command;
    const char *synopsis;
    const char *brief; // its line in the usage: what it does, with its ranges
    const char *help;
};

const CtlCommandInfo Commands[] = {
    {"list", CtlOptions::Command::List, "list", "the port numbers and their devices",
     "The twenty port numbers: device path, description and state."},
    {"pin", CtlOptions::Command::Pin, "pin COMn PATH", "give COMn (1..20) to PATH for good",
     "Gives COMn to the device at PATH for good (a stable name from\n"
     "/dev/serial/by-id/, a pseudo-terminal, any serial device, or a line another\n"
     "machine serves: rfc2217://HOST:PORT, socket://HOST:PORT), as the window's\n"
     "Port Numbers dialog does."},
    {"unpin", CtlOptions::Command::Unpin, "unpin COMn", "take COMn's pin back",
     "Takes COMn's pin away; the number goes back to the devices the system lists."},
    {"color", CtlOptions::Command::Color, "color R G B | color #RRGGBB",
     "show a colour, levels 0..255; no answer",
     "Shows the colour on the LED (levels 0..255). The module does not answer a\n"
     "colour: the exit status says that the frame went out, not that a module took\n"
     "it. To know that a module is there first, ask it: 'lumaveractl read'."},
    {"mode", CtlOptions::Command::Mode, "mode N", "set the running mode, 0..11",
     "Sets the running mode, N in 0..11."},
    {"fade", CtlOptions::Command::Fade, "fade N", "set the fade speed, 0..2",
     "Sets the fade speed, N in 0..2."},
    {"hold", CtlOptions::Command::Hold, "hold N", "set the hold time, 0..240",
     "Sets the hold time, N in 0..240."},
    {"store", CtlOptions::Command::Store, "store SLOT R G B | store SLOT #RRGGBB",
     "store a colour in memory slot 1..10",
     "Stores a colour in memory slot 1..10, in the module and in the settings file."},
    {"read", CtlOptions::Command::Read, "read", "ask for mode, fade, hold and the slots",
     "Reads the module's mode, fade, hold and ten slots, prints them and keeps the\n"
     "slot colours in the settings file."},
    {"save", CtlOptions::Command::Save, "save", "have the module save to its EEPROM",
     "Has the module save its settings to its EEPROM; succeeds only on the\n"
     "acknowledgement FE AA."},
    {"backup", CtlOptions::Command::Backup, "backup FILE", "read the module into FILE",
     "Reads the module and writes its configuration to FILE."},
    {"restore", CtlOptions::Command::Restore, "restore FILE [--save] [--gap MS]",
     "send FILE, read back and compare",
     "Sends FILE's mode, fade, hold and ten slots, reads the module back and\n"
     "compares; with --save, then has the module save them to its EEPROM. --gap is\n"
     "the pause between frames (default 50 ms)."},
    {"station", CtlOptions::Command::Station,
     "station FILE [--all] [--match GLOB] [--port PORT] [--cable] [--save] [--gap MS]\n"
     "        [--log FILE.csv] [--unit-ids FILE] [--sound]",
     "set up every module plugged in from FILE",
     "Waits for modules and sets up each one that is plugged in from FILE (the\n"
     "format backup writes), until Ctrl+C. It first sends the read command; a\n"
     "device named by --port or --match that does not answer like a module FAILs\n"
     "with the reason, any other such device is left alone (SKIP). Then it keeps\n"
     "what the module held as a backup (see history), restores FILE, reads back\n"
     "and compares, and prints one line per module: time, device, serial number,\n"
     "PASS or FAIL, the milliseconds it took and why. Modules plugged in together\n"
     "are set up in parallel. Ctrl+C lets the modules in progress finish; a\n"
     "second Ctrl+C stops them at once.\n"
     "  --all         the ports present at start too, not only those that appear\n"
     "  --match GLOB  only devices whose stable name (/dev/serial/by-id) or path\n"
     "                matches, e.g. --match 'usb-FTDI*'\n"
     "  --port PORT   only this port, set up again each time it is plugged in;\n"
     "                waited for while it is not there, or another program holds\n"
     "                it, or it does not open (given again: those ports)\n"
     "  --cable       the --port or --match ports are cables that stay plugged in:\n"
     "                each is asked with the read command every half second, a\n"
     "                module that answers is set up, and the next is taken once\n"
     "                the cable has been silent for a second\n"
     "  --save        have each module save to its EEPROM after it verified\n"
     "  --log FILE    append every line to FILE as CSV, flushed as it is known\n"
     "  --unit-ids FILE  the units' ids, one a line (- for standard input, read as\n"
     "                they come): each goes to the next module found, into its\n"
     "                verdict and the CSV\n"
     "  --sound       ring the terminal's bell on every FAIL\n"
     "  --json        one JSON object per line\n"
     "Exit status: 0 every module passed; 1 one failed; 2 bad usage, a bad FILE\n"
     "or a port named twice."},
    {"find", CtlOptions::Command::Find, "find [--match GLOB | --port PORT]",
     "which ports have a module on them",
     "Sends the read command to every serial port no other program holds (or to\n"
     "those --match names, or to the one --port names), all at once, and prints\n"
     "for each whether a module answers, with its mode, fade and hold. A port the\n"
     "window is connected to is asked through the window. Other devices on those\n"
     "ports get the five bytes of the read command too."},
    {"history", CtlOptions::Command::History, "history [--json]",
     "what modules held before restores",
     "Lists the backups of what modules held before a restore or a station\n"
     "changed them, newest first: the time, the device, its USB serial number\n"
     "where its name carries one (else -), and the file. Restoring the file undoes\n"
     "that change. With --json, one JSON object per line."},
};

QStringList commandNames()
{
    QStringList names;
    for (const CtlCommandInfo &c : Commands)
        names << QLatin1String(c.name);
    return names;
}

const CtlCommandInfo *find(const QString &name)
{
    for (const CtlCommandInfo &c : Commands) {
        if (name == QLatin1String(c.name))
            return &c;
    }
    return nullptr;
}

// How many letters to add, drop or change to make one word the other.
qsizetype editDistance(const QString &a, const QString &b)
{
    QList<qsizetype> row(b.size() + 1);
    for (qsizetype j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        qsizetype diagonal = row[0];
        row[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype above = row[j];
            row[j] = std::min(
                {row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1].toLower() == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The shortest wait that can see the command's answer whole.
int shortestTimeout(CtlOptions::Command command)
{
    using C = CtlOptions::Command;
    switch (command) {
    case C::Read:
    case C::Backup:
    case C::Restore:
    case C::Station:
    case C::Find:
        return WireMs(ModuleStep::Kind::Read);
    case C::Save:
        return WireMs(ModuleStep::Kind::Save);
    default:
        return 0;
    }
}

} // namespace

QString NearestWord(const QString &word, const QStringList &candidates)
{
    QString best;
    qsizetype bestDistance = 3;
    for (const QString &candidate : candidates) {
        const qsizetype d = word.size() >= 3 && candidate.startsWith(word.toLower())
                                ? 1
                                : editDistance(word, candidate);
        if (d < bestDistance && d < candidate.size() - 1) {
            best = candidate;
            bestDistance = d;
        }
    }
    return best;
}

std::variant<Rgb, QString> ParseColour(const QStringList &words)
{
    const QString usage =
        CtlTexts::tr("a colour is R G B (each 0..255) or RRGGBB in hex, with or without #");
    if (words.size() == 1) {
        static const QRegularExpression hex(QStringLiteral("^#?([0-9A-Fa-f]{6})$"));
        const QRegularExpressionMatch m = hex.match(words[0]);
        if (!m.hasMatch())
            return CtlTexts::tr("'%1' is not a colour: %2").arg(words[0], usage);
        const uint v = m.captured(1).toUInt(nullptr, 16);
        return Rgb{std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
    }
    if (words.size() != 3)
        return usage;
    std::array<std::uint8_t, 3> levels{};
    const char *const names[] = {"red", "green", "blue"};
    for (int i = 0; i < 3; ++i) {
        const std::optional<int> n = number(words[i], 0, 255);
        if (!n)
            return CtlTexts::tr("%1 level %2 is not a whole number from 0 to 255")
                .arg(QLatin1String(names[i]), words[i]);
        levels[std::size_t(i)] = std::uint8_t(*n);
    }
    return Rgb{levels[0], levels[1], levels[2]};
}

std::variant<CtlOptions, QString> ParseCtlArguments(const QStringList &arguments)
{
    CtlOptions o;
    QStringList words;
    bool timeoutGiven = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        QString inlineValue;
        const bool hasInline = arg.startsWith(QLatin1String("--")) && arg.contains(u'=');
        if (hasInline) {
            inlineValue = arg.section(u'=', 1);
            arg = arg.section(u'=', 0, 0);
        }
        const auto value = [&]() -> std::optional<QString> {
            if (hasInline)
                return inlineValue;
            if (i + 1 < arguments.size())
                return arguments[++i];
            return std::nullopt;
        };
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            o.help = true;
        } else if (arg == QLatin1String("--json")) {
            o.json = true;
        } else if (arg == QLatin1String("--verbose") || arg == QLatin1String("-v")) {
            o.verbose = true;
        } else if (arg == QLatin1String("--save")) {
            o.saveAfterRestore = true;
        } else if (arg == QLatin1String("--all")) {
            o.all = true;
        } else if (arg == QLatin1String("--cable")) {
            o.cable = true;
        } else if (arg == QLatin1String("--sound")) {
            o.sound = true;
        } else if (arg == QLatin1String("--match") || arg == QLatin1String("--log") ||
                   arg == QLatin1String("--unit-ids")) {
            const std::optional<QString> v = value();
            if (!v || v->isEmpty())
                return arg == QLatin1String("--match") ? CtlTexts::tr("--match needs a pattern")
                                                       : CtlTexts::tr("%1 needs a file").arg(arg);
            (arg == QLatin1String("--match") ? o.match
             : arg == QLatin1String("--log") ? o.log
                                             : o.unitIds) = *v;
        } else if (arg == QLatin1String("--settings")) {
            const std::optional<QString> v = value();
            if (!v || v->isEmpty())
                return CtlTexts::tr("--settings needs a file");
            o.settings = *v;
        } else if (arg == QLatin1String("--port")) {
            const std::optional<QString> v = value();
            if (!v || v->isEmpty())
                return CtlTexts::tr("--port needs COMn or a device path");
            if (const QString malformed = MalformedNetworkAddress(*v); !malformed.isEmpty())
                return QStringLiteral("--port ") + malformed;
            if (o.port.isEmpty())
                o.port = *v;
            o.ports << *v;
        } else if (arg == QLatin1String("--timeout") || arg == QLatin1String("--gap")) {
            const std::optional<QString> v = value();
            const std::optional<int> ms = v ? number(*v, 0, 60000) : std::nullopt;
            if (!ms)
                return CtlTexts::tr("%1 takes milliseconds from 0 to 60000").arg(arg);
            (arg == QLatin1String("--timeout") ? o.timeoutMs : o.gapMs) = *ms;
            timeoutGiven = timeoutGiven || arg == QLatin1String("--timeout");
        } else if (arg.startsWith(u'-') && arg.size() > 1 && !arg[1].isDigit()) {
            static const QStringList options{
                QStringLiteral("--help"),     QStringLiteral("--json"),
                QStringLiteral("--verbose"),  QStringLiteral("--save"),
                QStringLiteral("--all"),      QStringLiteral("--cable"),
                QStringLiteral("--match"),    QStringLiteral("--log"),
                QStringLiteral("--settings"), QStringLiteral("--port"),
                QStringLiteral("--timeout"),  QStringLiteral("--gap"),
                QStringLiteral("--unit-ids"), QStringLiteral("--sound")};
            if (const QString meant = NearestWord(arg, options); !meant.isEmpty())
                return CtlTexts::tr("unknown option '%1'; did you mean '%2'?")
                    .arg(arguments[i], meant);
            return CtlTexts::tr("unknown option '%1'").arg(arguments[i]);
        } else {
            words << arguments[i];
        }
    }
    if (words.isEmpty())
        return o.help ? std::variant<CtlOptions, QString>(o) : CtlTexts::tr("no command given");
    const QString commandName = words.takeFirst();
    const CtlCommandInfo *info = find(commandName);
    if (!info) {
        if (const QString meant = NearestWord(commandName, commandNames()); !meant.isEmpty())
            return CtlTexts::tr("unknown command '%1'; did you mean '%2'?").arg(commandName, meant);
        return CtlTexts::tr("unknown command '%1'").arg(commandName);
    }
    o.command = info->command;
    if (o.help)
        return o;

    using C = CtlOptions::Command;
    const auto count = [&](int n) { return words.size() == n; };
    const QString name = QLatin1String(info->name);
    switch (o.command) {
    case C::List:
    case C::Read:
    case C::Save:
    case C::Find:
    case C::History:
        if (!count(0))
            return CtlTexts::tr("%1 takes no arguments").arg(name);
        break;
    case C::Color: {
        const std::variant<Rgb, QString> c = ParseColour(words);
        if (const QString *why = std::get_if<QString>(&c))
            return CtlTexts::tr("color: %1").arg(*why);
        o.colour = std::get<Rgb>(c);
        break;
    }
    case C::Mode:
    case C::Fade:
    case C::Hold: {
        const int max = o.command == C::Mode ? MaxMode : o.command == C::Fade ? MaxFade : MaxHold;
        const std::optional<int> n = count(1) ? number(words[0], 0, max) : std::nullopt;
        if (!n)
            return count(1) ? CtlTexts::tr("%1: %2 is not a whole number from 0 to %3")
                                  .arg(name, words[0])
                                  .arg(max)
                            : CtlTexts::tr("%1 takes one number from 0 to %2").arg(name).arg(max);
        o.value = *n;
        break;
    }
    case C::Store: {
        const std::optional<int> slot =
            words.isEmpty() ? std::nullopt : number(words[0], 1, SlotCount);
        if (!slot)
            return CtlTexts::tr("store: the slot is a number from 1 to 10");
        const std::variant<Rgb, QString> c = ParseColour(words.mid(1));
        if (const QString *why = std::get_if<QString>(&c))
            return CtlTexts::tr("store: %1").arg(*why);
        o.slot = *slot - 1;
        o.colour = std::get<Rgb>(c);
        break;
    }
    case C::Pin:
    case C::Unpin: {
        static const QRegularExpression com(QStringLiteral("^COM([0-9]{1,2})$"),
                                            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m =
            words.isEmpty() ? QRegularExpressionMatch() : com.match(words[0]);
        const int n = m.hasMatch() ? m.captured(1).toInt() : 0;
        if (!count(o.command == C::Pin ? 2 : 1) || n < 1 || n > 20)
            return CtlTexts::tr("%1 takes COMn (COM1..COM20)%2")
                .arg(name, o.command == C::Pin ? CtlTexts::tr(" and a device path") : QString());
        o.value = n;
        o.file = o.command == C::Pin ? words[1] : QString();
        if (const QString malformed = MalformedNetworkAddress(o.file); !malformed.isEmpty())
            return malformed;
        break;
    }
    case C::Backup:
    case C::Restore:
    case C::Station:
        if (!count(1) || words[0].isEmpty())
            return CtlTexts::tr("%1 takes one FILE").arg(name);
        o.file = words[0];
        break;
    }
    if (const int shortest = shortestTimeout(o.command); timeoutGiven && o.timeoutMs < shortest)
        return CtlTexts::tr("--timeout %1 is shorter than %2's answer takes on the wire (%3 ms at "
                            "9600 baud); give at least %3, or leave it out for 500")
            .arg(o.timeoutMs)
            .arg(name)
            .arg(shortest);
    if (o.saveAfterRestore && o.command != C::Restore && o.command != C::Station)
        return CtlTexts::tr("--save goes with restore and station");
    if ((o.all || o.sound || !o.log.isEmpty() || !o.unitIds.isEmpty()) && o.command != C::Station)
        return CtlTexts::tr("%1 goes with station")
            .arg(QLatin1String(o.all              ? "--all"
                               : o.sound          ? "--sound"
                               : !o.log.isEmpty() ? "--log"
                                                  : "--unit-ids"));
    if (!o.match.isEmpty() && o.command != C::Station && o.command != C::Find)
        return CtlTexts::tr("--match goes with station and find");
    if (o.cable && (o.command != C::Station || (o.port.isEmpty() && o.match.isEmpty())))
        return CtlTexts::tr("--cable goes with station and --port or --match");
    if (o.ports.size() > 1 && o.command != C::Station)
        return CtlTexts::tr("--port is given once, except to station");
    if (!o.port.isEmpty() && (o.all || !o.match.isEmpty()))
        return CtlTexts::tr("--port names one port; it does not go with --all or --match");
    return o;
}

QString CtlUsage()
{
    QString text =
        CtlTexts::tr("Usage: lumaveractl [--port PORT] [--json] [--timeout MS] [--verbose]\n"
                     "                   [--settings FILE] COMMAND [ARGS]\n\n"
                     "Sets up a Lumavera RGB LED module on a serial port.\n\nCommands:\n");
    // Each command's synopsis and what it does, the second beside the first
    // where it fits and under it where not.
    constexpr int Column = 38;
    for (const CtlCommandInfo &c : Commands) {
        const QString synopsis = QString::fromLatin1(c.synopsis).replace(u'\n', "\n  ");
        const QString brief = CtlTexts::tr(c.brief);
        text += synopsis.size() + 2 < Column
                    ? QStringLiteral("  %1%2\n").arg(synopsis, -Column).arg(brief)
                    : QStringLiteral("  %1\n  %2%3\n").arg(synopsis, QString(Column, u' '), brief);
    }
    text +=
        CtlTexts::tr("\nOptions:\n"
                     "  --port PORT    COMn as the window numbers it, a device path, or a line\n"
                     "                 another machine serves (rfc2217://HOST:PORT with its line\n"
                     "                 set at the far end, socket://HOST:PORT as it is); default:\n"
                     "                 the port the window last used\n"
                     "  --json         print read and list as JSON\n"
                     "  --timeout MS   how long to wait for an answer (default 500)\n"
                     "  --verbose      print every byte sent and received on standard error\n"
                     "  --settings FILE\n"
                     "                 the settings file (default: $LUMAVERA_SETTINGS, else\n"
                     "                 $XDG_CONFIG_HOME/lumavera/lumavera.ini)\n"
                     "  --help         this text; COMMAND --help for one command\n"
                     "\nExit status: 0 done; 1 the module did not answer as expected; 2 bad usage\n"
                     "or values; 3 the port could not be opened; 4 the module did as asked but\n"
                     "the settings file could not be written; 128+N stopped by signal N (130\n"
                     "Ctrl+C), the port let go.\n");
    return text;
}

QString CtlCommandHelp(const QString &command)
{
    const CtlCommandInfo *info = find(command);
    if (!info)
        return CtlUsage();
    return QStringLiteral("Usage: lumaveractl [OPTIONS] %1\n\n%2\n")
        .arg(QLatin1String(info->synopsis), CtlTexts::tr(info->help));
}

} // namespace lumavera
