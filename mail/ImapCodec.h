#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// Wire-level pieces of IMAP4rev1 that the client needs: mailbox-name encoding,
// string arguments that cannot break a command, and an incremental response reader.
namespace larkspan::imap {

// Mailbox names travel in modified UTF-7 ("&" starts a base64 run of UTF-16).
QByteArray EncodeMailboxName(const QString &name);
// Decodes modified UTF-7; a malformed run is left as it came.
QString DecodeMailboxName(const QByteArray &wire);

// One string argument of a command. Text that is safe inside double quotes is sent
// quoted (with \ and " escaped); anything else (8-bit, CR, LF, very long) is sent as
// a literal, so no value can end the command early or smuggle in another one.
struct StringArgument {
    bool literal = false;
    QByteArray bytes; // the quoted form, or the literal's raw octets
};
// Nothing for a value with a NUL octet, which IMAP cannot carry at all.
std::optional<StringArgument> MakeStringArgument(const QByteArray &value);
QByteArray QuoteString(const QByteArray &value);
// One command as it goes on the wire: the verb, then each argument as a string
// argument, CR LF at the end. A literal ends its piece; the server must answer "+"
// before the next piece goes. Nothing when an argument holds a NUL octet.
std::optional<QList<QByteArray>> CommandWithArguments(const QByteArray &verb, const QList<QByteArray> &arguments);

// One complete server response. A response whose line ends in "{n}" (or the
// literal8 "~{n}") continues after n octets of literal data: lines[i] is followed
// by literals[i] when i < literals.size().
struct Response {
    QList<QByteArray> lines;
    QList<QByteArray> literals;

    // "*", "+" or the command tag.
    QByteArray tag() const;
    // The first line without the tag and the space after it.
    QByteArray rest() const;
    // The response exactly as it came, CR LF included.
    QByteArray text() const;
};

// What a server may send at most: a literal (a whole message) of 512 MiB, a line
// outside literals of 1 MiB. Beyond either, the reader stops and says why, so that
// memory never grows on a server's word alone.
inline constexpr qint64 kLargestLiteral = qint64(512) * 1024 * 1024;
inline constexpr qsizetype kLongestLine = 1024 * 1024;

// Reads responses out of a byte stream that arrives in arbitrary chunks.
class ResponseReader {
public:
    enum class Overflow { None, Literal, Line };

    void feed(const QByteArray &chunk);
    // Nothing while a response is incomplete, and for good once overflowed.
    std::optional<Response> next();
    Overflow overflow() const { return m_overflow; }
    // The overflow in words for the user; empty when there is none.
    QString overflowText() const;

    // While a literal is being received: the first line of its response and how much
    // of the literal has arrived, for progress reports.
    bool inLiteral() const { return m_literalRemaining > 0; }
    QByteArray pendingFirstLine() const;
    qint64 literalSize() const { return m_literalSize; }
    qint64 literalReceived() const { return m_literalSize - m_literalRemaining; }
    // Literals announced so far in the response being received.
    qsizetype pendingLiteralCount() const { return m_partial.literals.size(); }
    // Bytes fed but not handed out yet as a whole response.
    bool holdsUnread() const;
    void clear();

private:
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_scanned = 0; // where the search for the next line end goes on
    qint64 m_partialSize = 0;
    Overflow m_overflow = Overflow::None;
    Response m_partial;
    qint64 m_literalSize = 0;
    qint64 m_literalRemaining = 0;
};

// A parsed value of a response: atom (including NIL and numbers), quoted or literal
// string (literal8 included), or parenthesised list.
struct Value {
    enum Kind { Atom, String, List, Nil } kind = Nil;
    QByteArray bytes;
    QList<Value> items;

    bool isNil() const { return kind == Nil; }
};

// Walks the values of a response, literals included.
class ValueCursor {
public:
    ValueCursor(const Response &response, int line, qsizetype offset);
    // Nothing at the end of the response or on broken syntax.
    std::optional<Value> next();
    bool atEnd();

private:
    std::optional<Value> read(int depth);
    void skipSpaces();
    const Response &m_response;
    int m_line;
    qsizetype m_pos;
};

// Untagged "* <number> <name> ..." — the number and the word after it.
bool ParseNumbered(const QByteArray &rest, qint64 *number, QByteArray *name, qsizetype *after);

} // namespace larkspan::imap
