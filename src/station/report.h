#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace lumavera {

// What became of one device at the station.
struct StationReport
{
    enum class Result { Pass, Fail, Skip };

    QDateTime at;   // local time, when it was done
    QString device; // its stable name where it has one, else its path
    QString serial; // the USB serial number, empty where the system knows none
    Result result = Result::Fail;
    QString reason;          // why it failed or was left alone
    QStringList differences; // what the read back showed differently
    qint64 ms = 0;
    QString backup;        // the file that keeps what the module held before
    QString holder;        // the other program that holds the device, for a SKIP
    QString unit;          // the unit's id, as scanned or typed; empty: none given
    bool retest = false;   // set up again on request, without being put on anew
    bool held = false;     // a SKIP because another program holds or locks it
    bool unopened = false; // a FAIL because the device did not open

    // What the verdict says of the module, in capitals: PASS, FAIL or SKIP.
    static QString resultName(Result result);
    // The reason and what differed, as one text.
    QString why() const;

    QString json() const; // one JSON object on one line
    QString csv() const;  // one CSV record, as CsvHeader names the fields
    static QString csvHeader();
};

} // namespace lumavera
