#include "settings/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <vector>

namespace profile {
namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimmed(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

bool sameName(const QByteArray &a, const QByteArray &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// One line of the file with its own terminator ("\r\n", "\n" or none), so
// that untouched lines are written back byte for byte.
struct Line
{
    QByteArray text;
    QByteArray end;
};

enum class Kind { Other, Section, Key };

struct Parsed
{
    Kind kind = Kind::Other;
    QByteArray name; // section or key name, trimmed
    QByteArray value;
};

Parsed parse(const QByteArray &rawText)
{
    const QByteArray text = trimmed(rawText);
    Parsed p;
    if (text.isEmpty() || text.startsWith(';'))
        return p;
    if (text.startsWith('[')) {
        const qsizetype close = text.lastIndexOf(']');
        if (close > 0) {
            p.kind = Kind::Section;
            p.name = trimmed(text.mid(1, close - 1));
        }
        return p;
    }
    const qsizetype eq = text.indexOf('=');
    if (eq <= 0)
        return p;
    p.name = trimmed(text.left(eq));
    if (p.name.isEmpty())
        return p;
    p.kind = Kind::Key;
    p.value = trimmed(text.mid(eq + 1));
    if (p.value.size() >= 2 && (p.value.front() == '"' || p.value.front() == '\'') &&
        p.value.back() == p.value.front())
        p.value = p.value.mid(1, p.value.size() - 2);
    return p;
}

std::vector<Line> splitLines(const QByteArray &body)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < body.size()) {
        const qsizetype nl = body.indexOf('\n', start);
        if (nl < 0) {
            lines.push_back({body.mid(start), {}});
            break;
        }
        const bool crlf = nl > start && body[nl - 1] == '\r';
        const qsizetype textEnd = crlf ? nl - 1 : nl;
        lines.push_back({body.mid(start, textEnd - start), crlf ? "\r\n" : "\n"});
        start = nl + 1;
    }
    return lines;
}

QByteArray withoutBom(const QByteArray &content)
{
    return content.startsWith(Utf8Bom) ? content.mid(Utf8Bom.size()) : content;
}

} // namespace

QByteArray valueIn(const QByteArray &content, const QByteArray &section, const QByteArray &key)
{
    const QByteArray wantSection = trimmed(section);
    const QByteArray wantKey = trimmed(key);
    bool inSection = false;
    bool seenSection = false;
    for (const Line &line : splitLines(withoutBom(content))) {
        const Parsed p = parse(line.text);
        if (p.kind == Kind::Section) {
            // Only the first section of that name counts.
            if (inSection)
                return {};
            inSection = !seenSection && sameName(p.name, wantSection);
            seenSection = seenSection || inSection;
        } else if (inSection && p.kind == Kind::Key && sameName(p.name, wantKey)) {
            return p.value;
        }
    }
    return {};
}

bool isStorable(const QByteArray &section, const QByteArray &key, const QByteArray &value)
{
    const auto hasBreak = [](const QByteArray &s) { return s.contains('\n') || s.contains('\r'); };
    const auto padded = [](const QByteArray &s) { return trimmed(s) != s; };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value))
        return false;
    if (section.isEmpty() || padded(section) || section.contains(']'))
        return false;
    if (key.isEmpty() || padded(key) || key.contains('=') || key.startsWith(';') ||
        key.startsWith('['))
        return false;
    if (padded(value))
        return false;
    // A value wrapped in matching quotes would come back without them.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return false;
    return true;
}

QByteArray withValue(const QByteArray &content, const QByteArray &section, const QByteArray &key,
                     const QByteArray &value)
{
    const bool bom = content.startsWith(Utf8Bom);
    std::vector<Line> lines = splitLines(withoutBom(content));

    QByteArray eol = "\r\n";
    for (const Line &line : lines) {
        if (!line.end.isEmpty()) {
            eol = line.end;
            break;
        }
    }

    qsizetype sectionAt = -1;
    for (qsizetype i = 0; i < qsizetype(lines.size()); ++i) {
        const Parsed p = parse(lines[i].text);
        if (p.kind == Kind::Section && sameName(p.name, section)) {
            sectionAt = i;
            break;
        }
    }

    if (sectionAt < 0) {
        if (!lines.empty() && lines.back().end.isEmpty())
            lines.back().end = eol;
        lines.push_back({'[' + section + ']', eol});
        lines.push_back({key + '=' + value, eol});
    } else {
        qsizetype lastKey = sectionAt;
        qsizetype found = -1;
        for (qsizetype i = sectionAt + 1; i < qsizetype(lines.size()); ++i) {
            const Parsed p = parse(lines[i].text);
            if (p.kind == Kind::Section)
                break;
            if (p.kind != Kind::Key)
                continue;
            lastKey = i;
            if (sameName(p.name, key)) {
                found = i;
                break;
            }
        }
        if (found >= 0) {
            // Keep the file's own spelling and indentation of the key.
            QByteArray head = lines[found].text.left(lines[found].text.indexOf('='));
            while (!head.isEmpty() && isBlank(head.back()))
                head.chop(1);
            lines[found].text = head + '=' + value;
        } else {
            if (lines[lastKey].end.isEmpty())
                lines[lastKey].end = eol;
            lines.insert(lines.begin() + lastKey + 1, Line{key + '=' + value, eol});
        }
    }

    QByteArray out = bom ? Utf8Bom : QByteArray();
    for (const Line &line : lines)
        out += line.text + line.end;
    return out;
}

QString readString(const QString &path, const QString &section, const QString &key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(valueIn(file.readAll(), section.toUtf8(), key.toUtf8()));
}

bool writeString(const QString &path, const QString &section, const QString &key,
                 const QString &value)
{
    const QByteArray s = section.toUtf8();
    const QByteArray k = key.toUtf8();
    const QByteArray v = value.toUtf8();
    if (!isStorable(s, k, v))
        return false;

    QByteArray content;
    QFile existing(path);
    if (existing.exists()) {
        // A file we cannot read must not be replaced by one holding only this key.
        if (!existing.open(QIODevice::ReadOnly))
            return false;
        content = existing.readAll();
        if (existing.error() != QFileDevice::NoError)
            return false;
        existing.close();
    }

    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    // The new text goes to a temporary file beside the old one, which then
    // replaces it: a crash mid-write leaves the old file or the new one.
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    const QByteArray next = withValue(content, s, k, v);
    if (out.write(next) != next.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

} // namespace profile
