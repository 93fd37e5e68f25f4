#include "app/windowoptions.h"
#include "ctl/options.h"

#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace lumavera {

namespace {

const char Usage[] = "Usage: lumavera [--connect] [--settings FILE] [Qt options]\n"
                     "       lumavera --station FILE [station options]\n"
                     "Sets up an RGB LED controller module on a serial port.\n"
                     "\n"
                     "  --connect        connect to the port the window last used as it opens\n"
                     "  --settings FILE  use FILE as the settings file (as LUMAVERA_SETTINGS)\n"
                     "  --station FILE   open the station window and start it: every module\n"
                     "                   plugged in is set up from FILE. It takes the options of\n"
                     "                   'lumaveractl station' (--port, given again for more\n"
                     "                   ports, --match, --all, --cable, --save, --gap, --log,\n"
                     "                   --unit-ids, --sound), and its own --operator: full\n"
                     "                   screen, tiles only, to be read from across the line\n"
                     "  -h, --help       print this and exit\n"
                     "  --version        print the version and exit\n"
                     "\n"
                     "It also takes the options of every Qt program (-platform NAME, -style\n"
                     "NAME, ...). lumaveractl drives the module from the shell; see\n"
                     "'man lumavera' and 'lumaveractl --help'.\n";

// Qt's own options for a widget program on Linux, with whether each takes
// a value as the next word.
struct QtOption
{
    const char *name;
    bool value;
};
const QtOption QtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"session", true},
    {"display", true},
    {"geometry", true},
    {"title", true},
    {"icon", true},
    {"name", true},
    {"style", true},
    {"stylesheet", true},
    {"qmljsdebugger", true},
    {"reverse", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
    {"widgetcount", false},
};

const QtOption *qtOption(std::string_view word)
{
    // Qt takes its options with one dash or two, and a value after '='.
    word.remove_prefix(word.starts_with("--") ? 2 : 1);
    word = word.substr(0, word.find('='));
    for (const QtOption &o : QtOptions) {
        if (word == o.name)
            return &o;
    }
    return nullptr;
}

std::string_view platformName()
{
    const char *p = std::getenv("QT_QPA_PLATFORM");
    return p && *p ? std::string_view(p) : std::string_view("xcb");
}

// Why the display could not be opened, as a person can mend it.
QString missingDisplay()
{
    const QByteArray x = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    if (x.isEmpty() && wayland.isEmpty())
        return QStringLiteral("no display to open the window on (DISPLAY is not set): start it "
                              "in a desktop session or over 'ssh -X'; lumaveractl needs none");
    return QStringLiteral("the display %1 could not be opened (platform %2): check that it "
                          "runs and lets you in; lumaveractl needs none")
        .arg(QString::fromLocal8Bit(x.isEmpty() ? wayland : x),
             QString::fromLocal8Bit(platformName().data()));
}

QtMessageHandler previousHandler = nullptr;
QStringList heldBack;

void holdBack(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg) {
        std::fprintf(stderr, "lumavera: %s\n", qPrintable(missingDisplay()));
        std::fflush(stderr);
        std::_Exit(2);
    }
    heldBack << qFormatLogMessage(type, context, message);
}

} // namespace

WindowCommandLine CheckWindowCommandLine(int argc, char *argv[])
{
    static const QStringList ours{QStringLiteral("--connect"), QStringLiteral("--settings"),
                                  QStringLiteral("--station"), QStringLiteral("--help"),
                                  QStringLiteral("--version")};
    // Help wherever it is asked for, the station's options included.
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (word == "--help" || word == "-h")
            return {QString::fromLatin1(Usage), {}};
        if (word == "--version")
            return {QStringLiteral("lumavera " LUMAVERA_VERSION "\n"), {}};
    }
    for (int i = 1; i < argc; ++i) {
        const std::string_view word = argv[i];
        // What follows --station is the station's, checked by its own parser.
        if (word == "--station")
            break;
        if (word == "--connect" || word.starts_with("--settings="))
            continue;
        if (word == "--settings") {
            ++i;
            continue;
        }
        if (!word.starts_with('-') || word == "-")
            continue;
        if (const QtOption *o = qtOption(word)) {
            i += o->value && word.find('=') == std::string_view::npos;
            continue;
        }
        const QString given = QString::fromLocal8Bit(argv[i]);
        const QString meant = NearestWord(given.section(u'=', 0, 0), ours);
        return {{},
                meant.isEmpty()
                    ? QStringLiteral("unknown option '%1'").arg(given)
                    : QStringLiteral("unknown option '%1'; did you mean '%2'?").arg(given, meant)};
    }
    return {};
}

DisplayCheck::DisplayCheck()
{
    previousHandler = qInstallMessageHandler(holdBack);
}

DisplayCheck::~DisplayCheck()
{
    qInstallMessageHandler(previousHandler);
    for (const QString &line : std::as_const(heldBack))
        std::fprintf(stderr, "%s\n", qPrintable(line));
    heldBack.clear();
}

} // namespace lumavera
