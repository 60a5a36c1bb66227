#include "mail/ImapCodec.h"

#include <algorithm>

namespace larkspan::imap {

namespace {

bool IsPrintableAscii(QChar c)
{
    return c.unicode() >= 0x20 && c.unicode() <= 0x7e;
}

QByteArray ToModifiedBase64(const QString &run)
{
    QByteArray utf16;
    utf16.reserve(run.size() * 2);
    for (QChar c : run) {
        utf16.append(char(c.unicode() >> 8));
        utf16.append(char(c.unicode() & 0xff));
    }
    QByteArray encoded = utf16.toBase64(QByteArray::OmitTrailingEquals);
    encoded.replace('/', ',');
    return encoded;
}

constexpr qsizetype kLongestQuoted = 1000;
constexpr qint64 kLargestReserve = 64 * 1024 * 1024;

} // namespace

QByteArray EncodeMailboxName(const QString &name)
{
    QByteArray out;
    out.reserve(name.size() + 8);
    qsizetype i = 0;
    while (i < name.size()) {
        const QChar c = name.at(i);
        if (c == QLatin1Char('&')) {
            out.append("&-");
            ++i;
        } else if (IsPrintableAscii(c)) {
            out.append(char(c.unicode()));
            ++i;
        } else {
            qsizetype end = i;
            while (end < name.size() && !IsPrintableAscii(name.at(end)))
                ++end;
            out.append('&').append(ToModifiedBase64(name.mid(i, end - i))).append('-');
            i = end;
        }
    }
    return out;
}

QString DecodeMailboxName(const QByteArray &wire)
{
    QString out;
    qsizetype i = 0;
    while (i < wire.size()) {
        const char c = wire.at(i);
        if (c != '&') {
            out.append(QLatin1Char(c));
            ++i;
            continue;
        }
        const qsizetype end = wire.indexOf('-', i + 1);
        if (end < 0) {
            out.append(QString::fromLatin1(wire.mid(i)));
            break;
        }
        if (end == i + 1) {
            out.append(QLatin1Char('&'));
            i = end + 1;
            continue;
        }
        QByteArray b64 = wire.mid(i + 1, end - i - 1);
        b64.replace(',', '/');
        const auto decoded = QByteArray::fromBase64Encoding(b64, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.isEmpty() || decoded.decoded.size() % 2 != 0) {
            out.append(QString::fromLatin1(wire.mid(i, end - i + 1)));
        } else {
            const QByteArray &bytes = decoded.decoded;
            for (qsizetype k = 0; k + 1 < bytes.size(); k += 2)
                out.append(QChar(char16_t((uchar(bytes[k]) << 8) | uchar(bytes[k + 1]))));
        }
        i = end + 1;
    }
    return out;
}

QByteArray QuoteString(const QByteArray &value)
{
    QByteArray out;
    out.reserve(value.size() + 2);
    out.append('"');
    for (char c : value) {
        if (c == '"' || c == '\\')
            out.append('\\');
        out.append(c);
    }
    out.append('"');
    return out;
}

std::optional<StringArgument> MakeStringArgument(const QByteArray &value)
{
    if (value.contains('\0'))
        return std::nullopt;
    bool quotable = value.size() <= kLongestQuoted;
    for (char c : value) {
        const uchar u = uchar(c);
        if (u >= 0x80 || c == '\r' || c == '\n') {
            quotable = false;
            break;
        }
    }
    if (quotable)
        return StringArgument{false, QuoteString(value)};
    return StringArgument{true, value};
}

std::optional<QList<QByteArray>> CommandWithArguments(const QByteArray &verb, const QList<QByteArray> &arguments)
{
    QList<QByteArray> pieces;
    QByteArray current = verb;
    for (const QByteArray &value : arguments) {
        const std::optional<StringArgument> argument = MakeStringArgument(value);
        if (!argument)
            return std::nullopt;
        current += ' ';
        if (argument->literal) {
            pieces.append(current + '{' + QByteArray::number(argument->bytes.size()) + "}\r\n");
            current = argument->bytes;
        } else {
            current += argument->bytes;
        }
    }
    pieces.append(current + "\r\n");
    return pieces;
}

QByteArray Response::tag() const
{
    if (lines.isEmpty())
        return {};
    const QByteArray &first = lines.first();
    const qsizetype space = first.indexOf(' ');
    return space < 0 ? first : first.left(space);
}

QByteArray Response::rest() const
{
    if (lines.isEmpty())
        return {};
    const QByteArray &first = lines.first();
    const qsizetype space = first.indexOf(' ');
    return space < 0 ? QByteArray() : first.mid(space + 1);
}

QByteArray Response::text() const
{
    QByteArray out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        out.append(lines[i]).append("\r\n");
        if (i < literals.size())
            out.append(literals[i]);
    }
    return out;
}

void ResponseReader::feed(const QByteArray &chunk)
{
    if (m_overflow != Overflow::None)
        return;
    if (m_pos > 0 && (m_pos >= m_buffer.size() || m_pos > 64 * 1024)) {
        m_buffer.remove(0, m_pos);
        m_scanned = std::max<qsizetype>(0, m_scanned - m_pos);
        m_pos = 0;
    }
    m_buffer.append(chunk);
}

QString ResponseReader::overflowText() const
{
    switch (m_overflow) {
    case Overflow::Literal:
        return QStringLiteral("The server sent a message larger than 512 MB.");
    case Overflow::Line:
        return QStringLiteral("The server sent a line longer than 1 MB.");
    case Overflow::None:
        break;
    }
    return QString();
}

std::optional<Response> ResponseReader::next()
{
    for (;;) {
        if (m_overflow != Overflow::None)
            return std::nullopt;
        if (m_literalRemaining > 0) {
            const qint64 available = m_buffer.size() - m_pos;
            const qint64 take = std::min(available, m_literalRemaining);
            m_partial.literals.last().append(m_buffer.constData() + m_pos, take);
            m_pos += take;
            m_literalRemaining -= take;
            if (m_literalRemaining > 0)
                return std::nullopt;
        }
        const qsizetype newline = m_buffer.indexOf('\n', std::max(m_pos, m_scanned));
        if (newline < 0) {
            m_scanned = m_buffer.size();
            if (m_buffer.size() - m_pos > kLongestLine)
                m_overflow = Overflow::Line;
            return std::nullopt;
        }
        if (newline - m_pos > kLongestLine) {
            m_overflow = Overflow::Line;
            return std::nullopt;
        }
        qsizetype end = newline;
        if (end > m_pos && m_buffer.at(end - 1) == '\r')
            --end;
        QByteArray line = m_buffer.mid(m_pos, end - m_pos);
        m_pos = newline + 1;
        m_scanned = m_pos;

        // "{n}" or the non-synchronising "{n+}" at the end announces a literal.
        qint64 size = -1;
        if (line.endsWith('}')) {
            const qsizetype open = line.lastIndexOf('{');
            if (open >= 0) {
                QByteArray digits = line.mid(open + 1, line.size() - open - 2);
                if (digits.endsWith('+'))
                    digits.chop(1);
                bool ok = false;
                const qint64 n = digits.toLongLong(&ok);
                if (ok && n >= 0 && !digits.isEmpty())
                    size = n;
                else if (!digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
                    size = kLargestLiteral + 1; // more digits than a 64-bit number holds
            }
        }
        // One response may carry many literals; together they are held to the same bound.
        m_partialSize += line.size() + std::max<qint64>(size, 0);
        if (size > kLargestLiteral || m_partialSize > kLargestLiteral + kLongestLine) {
            m_overflow = Overflow::Literal;
            return std::nullopt;
        }
        m_partial.lines.append(line);
        if (size < 0) {
            Response done = std::move(m_partial);
            m_partial = Response();
            m_partialSize = 0;
            m_literalSize = 0;
            return done;
        }
        m_partial.literals.append(QByteArray());
        m_partial.literals.last().reserve(qsizetype(std::min(size, kLargestReserve)));
        m_literalSize = size;
        m_literalRemaining = size;
    }
}

bool ResponseReader::holdsUnread() const
{
    return m_pos < m_buffer.size() || !m_partial.lines.isEmpty();
}

QByteArray ResponseReader::pendingFirstLine() const
{
    return m_partial.lines.value(0);
}

void ResponseReader::clear()
{
    m_buffer.clear();
    m_pos = 0;
    m_scanned = 0;
    m_partialSize = 0;
    m_overflow = Overflow::None;
    m_partial = Response();
    m_literalSize = 0;
    m_literalRemaining = 0;
}

ValueCursor::ValueCursor(const Response &response, int line, qsizetype offset)
    : m_response(response), m_line(line), m_pos(offset)
{
}

void ValueCursor::skipSpaces()
{
    if (m_line >= m_response.lines.size())
        return;
    const QByteArray &line = m_response.lines[m_line];
    while (m_pos < line.size() && line.at(m_pos) == ' ')
        ++m_pos;
}

bool ValueCursor::atEnd()
{
    skipSpaces();
    return m_line >= m_response.lines.size() || m_pos >= m_response.lines[m_line].size();
}

std::optional<Value> ValueCursor::next()
{
    if (atEnd())
        return std::nullopt;
    return read(0);
}

std::optional<Value> ValueCursor::read(int depth)
{
    if (depth > 64 || atEnd())
        return std::nullopt;
    const QByteArray &line = m_response.lines[m_line];
    const char c = line.at(m_pos);
    Value value;
    if (c == '(') {
        ++m_pos;
        value.kind = Value::List;
        for (;;) {
            if (atEnd())
                return std::nullopt;
            const QByteArray &current = m_response.lines[m_line];
            if (current.at(m_pos) == ')') {
                ++m_pos;
                return value;
            }
            auto item = read(depth + 1);
            if (!item)
                return std::nullopt;
            value.items.append(std::move(*item));
        }
    }
    if (c == ')')
        return std::nullopt;
    if (c == '"') {
        value.kind = Value::String;
        ++m_pos;
        while (m_pos < line.size()) {
            char d = line.at(m_pos++);
            if (d == '"')
                return value;
            if (d == '\\' && m_pos < line.size())
                d = line.at(m_pos++);
            value.bytes.append(d);
        }
        return std::nullopt;
    }
    // "~{n}" is a literal8 (RFC 3516): binary octets, read like any literal.
    if (c == '~' && m_pos + 1 < line.size() && line.at(m_pos + 1) == '{')
        ++m_pos;
    if (line.at(m_pos) == '{') {
        const qsizetype close = line.indexOf('}', m_pos);
        if (close != line.size() - 1 || m_line >= m_response.literals.size())
            return std::nullopt;
        value.kind = Value::String;
        value.bytes = m_response.literals[m_line];
        ++m_line;
        m_pos = 0;
        return value;
    }
    value.kind = Value::Atom;
    int brackets = 0;
    while (m_pos < line.size()) {
        const char d = line.at(m_pos);
        if (d == '[')
            ++brackets;
        else if (d == ']')
            --brackets;
        else if (brackets <= 0 && (d == ' ' || d == '(' || d == ')'))
            break;
        value.bytes.append(d);
        ++m_pos;
    }
    if (value.bytes.compare("NIL", Qt::CaseInsensitive) == 0) {
        value.kind = Value::Nil;
        value.bytes.clear();
    }
    return value;
}

bool ParseNumbered(const QByteArray &rest, qint64 *number, QByteArray *name, qsizetype *after)
{
    const qsizetype space = rest.indexOf(' ');
    if (space <= 0)
        return false;
    bool ok = false;
    const qint64 n = rest.left(space).toLongLong(&ok);
    if (!ok)
        return false;
    qsizetype end = rest.indexOf(' ', space + 1);
    if (end < 0)
        end = rest.size();
    *number = n;
    *name = rest.mid(space + 1, end - space - 1).toUpper();
    *after = end;
    return true;
}

} // namespace larkspan::imap
