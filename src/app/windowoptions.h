#pragma once

#include <QString>

namespace lumavera {

// What the window's command line says before any display is opened: the
// text of --help or --version when one is asked for (printed, then exit),
// or why the line is refused (an option neither the window nor Qt takes).
struct WindowCommandLine
{
    QString answer;  // --help, --version: printed on standard output
    QString refusal; // printed on standard error, exit status 2
};
WindowCommandLine CheckWindowCommandLine(int argc, char *argv[]);

// Opens the application's connection to the display. Where there is none
// (no DISPLAY over SSH, a display that refuses), Qt would abort with advice
// to reinstall; this says in one line what is missing instead and exits
// with status 2. What Qt says on the way is kept back until the display is
// open, then passed on.
class DisplayCheck
{
public:
    DisplayCheck();
    ~DisplayCheck();
    DisplayCheck(const DisplayCheck &) = delete;
    DisplayCheck &operator=(const DisplayCheck &) = delete;
};

} // namespace lumavera
