#include "mail/local/MboxScanner.h"

#include "mail/ImapCodec.h"
#include "mail/local/LocalSourceErrors.h"
#include "mail/local/MboxFormat.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace larkspan::mbox {

namespace {

// Octets kept before the scan position: the line end before a "From " and the run of
// '>' before a quoted one are looked at there.
constexpr qint64 kLookBack = 64;
constexpr qsizetype kLongestFromLine = 1024;
// A header line or block longer than this is no header the scan needs: the rest is
// searched like a body.
constexpr qsizetype kLongestHeaderLine = 64 * 1024;
constexpr qint64 kLongestHeaderBlock = 1024 * 1024;
// The closing delimiter of a multipart body is looked for in this much of its end.
constexpr qint64 kClosingSearch = 64 * 1024;

QByteArrayView WithoutLineEnd(QByteArrayView line)
{
    if (line.endsWith('\n'))
        line.chop(1);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

MboxScanner::MboxScanner(QFile &file, qint64 size, qint64 chunk) : m_file(file), m_size(size), m_chunk(std::max<qint64>(1, chunk))
{
    posix_fadvise(m_file.handle(), 0, 0, POSIX_FADV_SEQUENTIAL);
}

QByteArray MboxScanner::readAt(qint64 offset, qint64 length) const
{
    QByteArray out(length, Qt::Uninitialized);
    out.truncate(readInto(out.data(), offset, length));
    return out;
}

qint64 MboxScanner::readInto(char *to, qint64 offset, qint64 length) const
{
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = pread(m_file.handle(), to + got, size_t(length - got), off_t(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw AppError(ErrorCode::DeviceIo, QStringLiteral("%1 could not be read at octet %2 (%3)")
                                                    .arg(local::Named(LocalMessageEntry::Kind::Mbox, m_file.fileName()))
                                                    .arg(offset + got)
                                                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

// Drops what the scan no longer needs and reads the next chunk. False at the end of the file.
bool MboxScanner::more()
{
    if (bufferEnd() >= m_size)
        return false;
    const qint64 keep = std::max<qint64>(0, std::min(m_hashed, m_pos) - kLookBack);
    if (keep >= bufferEnd()) {
        m_buffer.resize(0);
        m_bufferStart = keep;
    } else if (keep > m_bufferStart) {
        // Moved down in place: the buffer keeps its room, so reading never allocates again.
        const qsizetype tail = qsizetype(bufferEnd() - keep);
        std::memmove(m_buffer.data(), at(keep), size_t(tail));
        m_buffer.truncate(tail);
        m_bufferStart = keep;
    }
    // Straight into the buffer's end.
    const qint64 from = bufferEnd();
    const qint64 wanted = std::min(m_chunk, m_size - from);
    const qsizetype kept = m_buffer.size();
    m_buffer.resize(kept + wanted);
    const qint64 got = readInto(m_buffer.data() + kept, from, wanted);
    m_buffer.truncate(kept + got);
    m_readThisStep += got;
    if (got == 0) {
        // The file was cut while it was scanned: its end is here now.
        m_size = bufferEnd();
        return false;
    }
    return true;
}

MboxScanner::LineResult MboxScanner::line(qint64 from, qsizetype longest, qint64 &end)
{
    if (from >= m_size)
        return LineResult::AtEnd;
    const qint64 available = bufferEnd() - from;
    const qint64 searched = std::min<qint64>(available, longest);
    if (const void *found = memchr(at(from), '\n', size_t(std::max<qint64>(0, searched)))) {
        end = from + (static_cast<const char *>(found) - at(from)) + 1;
        return LineResult::Found;
    }
    if (searched >= longest)
        return LineResult::TooLong;
    if (bufferEnd() >= m_size) {
        end = m_size; // the last line, without a line end
        return LineResult::Found;
    }
    return LineResult::NeedMore;
}

void MboxScanner::hashTo(qint64 offset)
{
    if (offset <= m_hashed)
        return;
    // A message over the bound is never read, so its octets need no check.
    const qint64 bound = m_current.start + imap::kLargestLiteral;
    if (m_hashed < bound)
        m_check.add(at(m_hashed), std::min(offset, bound) - m_hashed);
    m_hashed = offset;
}

void MboxScanner::startMessage(qint64 fromLineEnd, QByteArrayView fromLine)
{
    m_current = Message();
    m_current.start = fromLineEnd;
    m_current.arrival = FromLineDate(fromLine);
    m_check = SliceCheck();
    m_facts = MboxHeaderFacts();
    m_hashed = fromLineEnd;
    m_headerBytes = 0;
    m_headersEnded = false;
    m_bodyStart = -1;
    m_contentLength = -1;
    m_pos = fromLineEnd;
    m_state = State::Headers;
}

void MboxScanner::searchAsBody(qint64 from)
{
    m_facts.finish();
    m_current.expunged = m_facts.expunged();
    m_headersEnded = true;
    m_bodyStart = from;
    m_pos = from;
    m_state = State::Body;
}

void MboxScanner::endHeaders(qint64 bodyStart)
{
    m_facts.finish();
    m_headersEnded = true;
    m_bodyStart = bodyStart;
    m_contentLength = m_facts.contentLength();
    m_current.expunged = m_facts.expunged();
    m_state = State::Body;
    if (m_facts.contentLength() < 0)
        return;
    qint64 next = 0;
    const qint64 end = bodyStart + m_facts.contentLength();
    if (countedEndIsConsistent(end, next)) {
        m_countedEnd = end;
        m_countedNext = next;
        m_state = State::Counted;
    }
}

// A Content-Length is taken when its end meets the end of the file or a From_ line,
// after at most one line end (the blank line that parts messages).
bool MboxScanner::countedEndIsConsistent(qint64 end, qint64 &next) const
{
    if (end > m_size)
        return false;
    if (end == m_size) {
        next = m_size;
        return true;
    }
    const QByteArray after = readAt(end, kLongestFromLine + 3);
    qsizetype skip = 0;
    if (after.startsWith("\r\n"))
        skip = 2;
    else if (after.startsWith('\n'))
        skip = 1;
    if (end + skip >= m_size) {
        next = m_size;
        return true;
    }
    QByteArrayView rest = QByteArrayView(after).sliced(skip);
    const qsizetype lineEnd = rest.indexOf('\n');
    if (lineEnd >= 0)
        rest = rest.first(lineEnd);
    if (!IsFromLine(WithoutLineEnd(rest)))
        return false;
    next = end + skip;
    return true;
}

// end, or the start of the blank line ("\n" or "\r\n") that ends just there: the
// writer's separator, no part of the current message.
qint64 MboxScanner::withoutBlankLine(qint64 end) const
{
    const qint64 start = m_current.start;
    auto isLineStart = [&](qint64 offset) { return offset == start || byteAt(offset - 1) == '\n'; };
    if (end - 2 >= start && byteAt(end - 1) == '\n' && byteAt(end - 2) == '\r' && isLineStart(end - 2))
        return end - 2;
    if (end - 1 >= start && byteAt(end - 1) == '\n' && isLineStart(end - 1))
        return end - 1;
    return end;
}

// The message ends before the From_ line at boundary, and before the blank line in front of it.
void MboxScanner::finishBefore(qint64 boundary, QList<Message> &finished)
{
    finish(withoutBlankLine(boundary), finished);
    m_pos = boundary;
    m_state = State::FromLine;
}

void MboxScanner::finishAtEnd(QList<Message> &finished)
{
    qint64 end = m_size;
    // A writer ends every message with a line end, and a blank line after it.
    bool cut = !m_headersEnded || (end > m_current.start && byteAt(end - 1) != '\n');
    if (!cut)
        end = withoutBlankLine(end);
    if (!cut && m_contentLength >= 0 && m_bodyStart + m_contentLength > end)
        cut = true;
    const QByteArray boundary = m_facts.multipartBoundary();
    if (!cut && !boundary.isEmpty()) {
        const qint64 from = std::max(m_bodyStart, end - kClosingSearch);
        cut = !readAt(from, end - from).contains("--" + boundary + "--");
    }
    m_current.cutShort = cut;
    finish(end, finished);
    m_pos = m_size;
    m_state = State::Done;
}

void MboxScanner::finish(qint64 end, QList<Message> &finished)
{
    if (!m_headersEnded) {
        m_facts.finish();
        m_current.expunged = m_facts.expunged();
    }
    hashTo(end);
    m_current.size = end - m_current.start;
    m_current.check = m_check.value();
    finished.append(m_current);
}

bool MboxScanner::step(qint64 budget, QList<Message> &finished)
{
    m_readThisStep = 0;
    while (m_state != State::Done) {
        if (m_readThisStep >= budget)
            return true;
        qint64 end = 0;
        switch (m_state) {
        case State::FromLine: {
            const LineResult found = line(m_pos, kLongestFromLine + 2, end);
            if (found == LineResult::NeedMore) {
                more();
                break;
            }
            if (found != LineResult::Found) { // the open checked the first; a boundary was checked when found
                m_state = State::Done;
                break;
            }
            startMessage(end, WithoutLineEnd(view(m_pos, end)));
            break;
        }
        case State::Headers: {
            const LineResult found = line(m_pos, kLongestHeaderLine, end);
            if (found == LineResult::NeedMore) {
                hashTo(m_pos - 2);
                more();
                break;
            }
            if (found == LineResult::AtEnd) {
                finishAtEnd(finished);
                break;
            }
            if (found == LineResult::TooLong) {
                // No header the scan needs: the rest is searched as a body, from inside this line.
                searchAsBody(m_pos);
                break;
            }
            const QByteArrayView text = WithoutLineEnd(view(m_pos, end));
            if (text.isEmpty()) {
                m_pos = end - 1; // the body search starts at a line end
                endHeaders(end);
                break;
            }
            if (text.startsWith("From ") && IsFromLine(text)) {
                finishBefore(m_pos, finished);
                break;
            }
            m_facts.addLine(text);
            m_headerBytes += end - m_pos;
            m_pos = end;
            if (m_headerBytes > kLongestHeaderBlock)
                searchAsBody(end - 1);
            break;
        }
        case State::Body: {
            // m_pos is a line end or lies inside a line: the next line starts after the next '\n'.
            for (;;) {
                const qint64 available = bufferEnd() - m_pos;
                const void *lineEnd = available > 0 ? memchr(at(m_pos), '\n', size_t(available)) : nullptr;
                if (!lineEnd) {
                    if (bufferEnd() >= m_size) {
                        finishAtEnd(finished);
                    } else {
                        m_pos = bufferEnd();
                        hashTo(m_pos - 2);
                        more();
                    }
                    break;
                }
                const qint64 lineStart = m_pos + (static_cast<const char *>(lineEnd) - at(m_pos)) + 1;
                const char first = lineStart < bufferEnd() ? byteAt(lineStart) : '\0';
                if (first != 'F' && first != '>' && lineStart < bufferEnd()) {
                    m_pos = lineStart;
                    continue;
                }
                // The start of this line decides: it must be in the buffer as far as it goes.
                const LineResult found = line(lineStart, kLongestFromLine + 2, end);
                if (found == LineResult::NeedMore) {
                    m_pos = lineStart - 1;
                    hashTo(m_pos - 2);
                    more();
                    break;
                }
                if (found == LineResult::AtEnd) {
                    m_pos = m_size;
                    finishAtEnd(finished);
                    break;
                }
                const QByteArrayView text = found == LineResult::Found ? WithoutLineEnd(view(lineStart, end))
                                                                       : view(lineStart, bufferEnd());
                if (first == 'F' && found == LineResult::Found && IsFromLine(text)) {
                    finishBefore(lineStart, finished);
                    break;
                }
                if (first == '>' && !m_mboxrd) {
                    qsizetype quotes = 0;
                    while (quotes < text.size() && text[quotes] == '>')
                        ++quotes;
                    m_mboxrd = quotes >= 2 && text.sliced(quotes).startsWith("From ");
                }
                m_pos = lineStart;
            }
            break;
        }
        case State::Counted: {
            const qint64 to = std::min(m_countedEnd, bufferEnd());
            hashTo(to);
            m_pos = std::max(m_pos, to);
            if (m_pos < m_countedEnd) {
                more();
                break;
            }
            finish(m_countedEnd, finished);
            m_pos = m_countedNext;
            m_state = m_countedNext >= m_size ? State::Done : State::FromLine;
            break;
        }
        case State::Done:
            break;
        }
    }
    return false;
}

} // namespace larkspan::mbox
