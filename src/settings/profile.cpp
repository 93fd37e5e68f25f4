#include "settings/profile.h"

#include <QSet>

namespace lumavera {

namespace profile {
namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF");

bool isBlank(char c)
{
    // The Windows reader skips these around names and values.
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\x1A';
}

QByteArrayView trimmed(QByteArrayView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

bool sameName(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// One line as offsets into the text: [begin, textEnd) is the line, [textEnd,
// end) its terminator ("\r\n", "\n", "\r" or none). Nothing is copied, so a
// file of a million empty lines costs no more memory than the file itself.
struct Line
{
    qsizetype begin = 0;
    qsizetype textEnd = 0;
    qsizetype end = 0;
};

class Lines
{
public:
    explicit Lines(QByteArrayView text) : text_(text) {}

    bool next(Line *line)
    {
        if (pos_ >= text_.size())
            return false;
        line->begin = pos_;
        qsizetype i = pos_;
        while (i < text_.size() && text_[i] != '\n' && text_[i] != '\r')
            ++i;
        line->textEnd = i;
        if (i < text_.size())
            i += (text_[i] == '\r' && i + 1 < text_.size() && text_[i + 1] == '\n') ? 2 : 1;
        line->end = pos_ = i;
        return true;
    }

private:
    QByteArrayView text_;
    qsizetype pos_ = 0;
};

enum class Kind { Other, Section, Key };

struct Parsed
{
    Kind kind = Kind::Other;
    QByteArrayView name; // section or key name, trimmed
    QByteArrayView value;
};

Parsed parse(QByteArrayView rawText)
{
    const QByteArrayView text = trimmed(rawText);
    Parsed p;
    if (text.isEmpty() || text.startsWith(';'))
        return p;
    if (text.startsWith('[')) {
        const qsizetype close = text.lastIndexOf(']');
        if (close > 0) {
            p.kind = Kind::Section;
            p.name = trimmed(text.sliced(1, close - 1));
        }
        return p;
    }
    const qsizetype eq = text.indexOf('=');
    // A line without '=' is a key with no value, as Windows reads it.
    p.name = eq < 0 ? text : trimmed(text.first(eq));
    if (p.name.isEmpty())
        return p;
    p.kind = Kind::Key;
    if (eq < 0)
        return p;
    QByteArrayView value = text.sliced(eq + 1);
    if (const qsizetype nul = value.indexOf('\0'); nul >= 0)
        value = value.first(nul);
    value = trimmed(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.sliced(1, value.size() - 2);
    p.value = value;
    return p;
}

QByteArrayView withoutBom(QByteArrayView content)
{
    return content.startsWith(Utf8Bom) ? content.sliced(Utf8Bom.size()) : content;
}

} // namespace

void forEachKey(QByteArrayView content, const KeyVisitor &visit)
{
    const QByteArrayView body = withoutBom(content);
    Lines lines(body);
    Line line;
    QByteArrayView section;
    bool inSection = false;
    // Sections seen so far; a repeated one is skipped, as the reader does.
    QSet<QByteArray> seen;
    while (lines.next(&line)) {
        const Parsed p = parse(body.sliced(line.begin, line.textEnd - line.begin));
        if (p.kind == Kind::Section) {
            const QByteArray lower = p.name.toByteArray().toLower();
            inSection = !seen.contains(lower);
            if (inSection) {
                seen.insert(lower);
                section = p.name;
            }
        } else if (p.kind == Kind::Key && inSection) {
            visit(section, p.name, p.value);
        }
    }
}

QByteArray valueIn(QByteArrayView content, QByteArrayView section, QByteArrayView key)
{
    const QByteArrayView wantSection = trimmed(section);
    const QByteArrayView wantKey = trimmed(key);
    const QByteArrayView body = withoutBom(content);
    Lines lines(body);
    Line line;
    bool inSection = false;
    while (lines.next(&line)) {
        const Parsed p = parse(body.sliced(line.begin, line.textEnd - line.begin));
        if (p.kind == Kind::Section) {
            // Only the first section of that name counts.
            if (inSection)
                return {};
            inSection = sameName(p.name, wantSection);
        } else if (inSection && p.kind == Kind::Key && sameName(p.name, wantKey)) {
            return p.value.first(std::min(p.value.size(), MaxValueLength)).toByteArray();
        }
    }
    return {};
}

bool isStorable(const QByteArray &section, const QByteArray &key, const QByteArray &value)
{
    const auto hasBreak = [](const QByteArray &s) {
        return s.contains('\n') || s.contains('\r') || s.contains('\0');
    };
    const auto padded = [](const QByteArray &s) { return trimmed(s) != QByteArrayView(s); };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value))
        return false;
    if (section.isEmpty() || padded(section) || section.contains(']'))
        return false;
    if (key.isEmpty() || padded(key) || key.contains('=') || key.startsWith(';') ||
        key.startsWith('['))
        return false;
    if (padded(value) || value.size() > MaxValueLength)
        return false;
    // A value wrapped in matching quotes would come back without them.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return false;
    return true;
}

bool setValue(QByteArray &content, const QByteArray &section, const QByteArray &key,
              const QByteArray &value)
{
    const qsizetype bom = content.startsWith(Utf8Bom) ? Utf8Bom.size() : 0;
    const QByteArrayView body = QByteArrayView(content).sliced(bom);

    // The file's own line ending, from its first terminated line.
    QByteArray eol = "\r\n";
    {
        Lines lines(body);
        Line line;
        while (lines.next(&line)) {
            if (line.end > line.textEnd) {
                eol = body.sliced(line.textEnd, line.end - line.textEnd).toByteArray();
                break;
            }
        }
    }

    // Find the first section of that name, the key in it, and where its last
    // key ends.
    Lines lines(body);
    Line line;
    bool inSection = false;
    bool sectionFound = false;
    Line lastKey;
    Line found;
    bool keyFound = false;
    Line last;
    while (lines.next(&line)) {
        last = line;
        const Parsed p = parse(body.sliced(line.begin, line.textEnd - line.begin));
        if (p.kind == Kind::Section) {
            if (inSection)
                break;
            if (!sectionFound && sameName(p.name, section)) {
                inSection = sectionFound = true;
                lastKey = line;
            }
        } else if (inSection && p.kind == Kind::Key) {
            lastKey = line;
            if (sameName(p.name, key)) {
                found = line;
                keyFound = true;
                break;
            }
        }
    }

    // The change is one splice: `length` bytes at `at` become `text`. The
    // file is edited where it lies, so a large file is never held twice.
    qsizetype at = 0;
    qsizetype length = 0;
    QByteArray text;
    if (!sectionFound) {
        at = content.size();
        if (!body.isEmpty() && last.end == last.textEnd)
            text += eol;
        text += '[' + section + ']' + eol + key + '=' + value + eol;
    } else if (keyFound) {
        // Keep the file's own spelling and indentation of the key.
        const QByteArrayView line = body.sliced(found.begin, found.textEnd - found.begin);
        const qsizetype eq = line.indexOf('=');
        QByteArrayView head = eq < 0 ? line : line.first(eq);
        while (!head.isEmpty() && isBlank(head.back()))
            head.chop(1);
        at = bom + found.begin;
        length = found.textEnd - found.begin;
        text = head.toByteArray() + '=' + value;
    } else {
        // A new key goes right after the section's last key (or its header).
        at = bom + lastKey.end;
        if (lastKey.end == lastKey.textEnd)
            text += eol;
        text += key + '=' + value + eol;
    }
    if (QByteArrayView(content).sliced(at, length) == QByteArrayView(text))
        return false;
    content.replace(at, length, text);
    return true;
}

QByteArray withValue(const QByteArray &content, const QByteArray &section, const QByteArray &key,
                     const QByteArray &value)
{
    QByteArray out = content;
    setValue(out, section, key, value);
    return out;
}

} // namespace profile

} // namespace lumavera
