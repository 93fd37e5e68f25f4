// Arbitrary file bytes through the profile reader and writer: no crash, no
// hang, a written key reads back and no other key changes.

#include "settings/profile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

using namespace lumavera;

namespace {

// Names the tool uses, plus whatever the fuzzer makes up.
QByteArray name(FuzzedDataProvider &in)
{
    static const char *const known[] = {"Settings", "CommPort", "Colors", "Red1",
                                        "blue10",   "Ports",    "COM3",   "settings"};
    if (in.ConsumeBool())
        return known[in.ConsumeIntegralInRange<int>(0, 7)];
    const std::string s = in.ConsumeRandomLengthString(12);
    return QByteArray(s.data(), qsizetype(s.size()));
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QByteArray section = name(in);
    const QByteArray key = name(in);
    const QByteArray value = name(in);
    const QByteArray otherSection = name(in);
    const QByteArray otherKey = name(in);
    const std::string rest = in.ConsumeRemainingBytesAsString();
    const QByteArray content(rest.data(), qsizetype(rest.size()));

    const QByteArray before = profile::valueIn(content, otherSection, otherKey);
    profile::valueIn(content, section, key);
    if (!profile::isStorable(section, key, value))
        return 0;
    const QByteArray after = profile::withValue(content, section, key, value);
    check(profile::valueIn(after, section, key) == value);
    // The reader trims the names it is asked for, so a padded name may be
    // the one just written; only names a writer could use are compared.
    const bool same = section.compare(otherSection, Qt::CaseInsensitive) == 0 &&
                      key.compare(otherKey, Qt::CaseInsensitive) == 0;
    if (!same && profile::isStorable(otherSection, otherKey, QByteArray()))
        check(profile::valueIn(after, otherSection, otherKey) == before);
    // Writing the same value again changes nothing.
    check(profile::withValue(after, section, key, value) == after);
    return 0;
}
