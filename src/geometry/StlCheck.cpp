#include "geometry/StlCheck.h"

#include "io/ReadableFile.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr qint64 binaryHeaderBytes = 84; // 80 bytes of header, the triangle count
constexpr qint64 binaryTriangleBytes = 50;
// assimp reads the digits of a number's integer part and exponent into a
// 64-bit integer, and refuses a solid's name of 1024 bytes or more: either
// throws out of its text reader, which then loses what it had allocated.
constexpr size_t maxDigits = 19;
constexpr size_t maxNameBytes = 1023;

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// assimp ends a line at a line feed or a carriage return; a carriage return
// and line feed end one line together.
bool endsLine(const char *at, const char *end)
{
    return *at == '\n' || (*at == '\r' && (at + 1 == end || at[1] != '\n'));
}

// The line (from 1) that at stands on.
int lineAt(const char *begin, const char *at)
{
    int line = 1;
    for (const char *c = begin; c < at; ++c)
        line += endsLine(c, at) ? 1 : 0;
    return line;
}

// Bytes a text file holds, or the header of a binary one: no control
// characters but spaces, and no zero, which the triangle count of a binary
// file (below 16 million) has.
bool looksLikeText(const QByteArray &head)
{
    return std::all_of(head.begin(), head.end(), [](char c) {
        return uchar(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r';
    });
}

// The words of a text STL in order, with the line each stands on.
class Words
{
public:
    Words(const char *begin, const char *end)
        : m_at(begin)
        , m_end(end)
    {
    }

    // Empty at the end of the text.
    std::string_view next()
    {
        while (m_at < m_end && isSpace(*m_at)) {
            if (endsLine(m_at, m_end))
                ++m_line;
            ++m_at;
        }
        return word();
    }

    // The next word when only spaces or tabs come before it, else empty:
    // assimp reads the numbers of a "vertex" or "facet normal" line, and a
    // solid's name, from that line only.
    std::string_view nextOnLine()
    {
        while (m_at < m_end && (*m_at == ' ' || *m_at == '\t'))
            ++m_at;
        return word();
    }

    // A solid's name is the rest of its line, spaces included.
    void skipLine()
    {
        while (m_at < m_end && *m_at != '\n' && *m_at != '\r')
            ++m_at;
    }

    int line() const { return m_line; }

private:
    std::string_view word()
    {
        const char *start = m_at;
        while (m_at < m_end && !isSpace(*m_at))
            ++m_at;
        return std::string_view(start, size_t(m_at - start));
    }

    const char *m_at;
    const char *m_end;
    int m_line = 1;
};

bool equalIgnoringCase(std::string_view word, std::string_view lower)
{
    return word.size() == lower.size()
           && std::equal(word.begin(), word.end(), lower.begin(), [](char a, char b) { return (a | 0x20) == b; });
}

// A number as assimp reads it whole: a sign, then "nan", "inf" or
// "infinity" in any case, or digits with a fraction and an exponent, each
// optional, but at least one digit before the exponent. What the special
// values stand for is refused once the mesh is read, with its own reason.
bool isNumber(std::string_view word)
{
    size_t i = 0;
    const auto digits = [&word, &i] {
        const size_t start = i;
        while (i < word.size() && word[i] >= '0' && word[i] <= '9')
            ++i;
        return i - start;
    };
    const auto skipSign = [&word, &i] {
        if (i < word.size() && (word[i] == '+' || word[i] == '-'))
            ++i;
    };

    skipSign();
    const std::string_view unsignedWord = word.substr(i);
    static constexpr std::string_view specials[] = {"nan", "inf", "infinity"};
    for (const std::string_view special : specials) {
        if (equalIgnoringCase(unsignedWord, special))
            return true;
    }
    const size_t whole = digits();
    size_t fraction = 0;
    if (i < word.size() && word[i] == '.') {
        ++i;
        fraction = digits();
    }
    if (whole > maxDigits || whole + fraction == 0)
        return false;
    if (i < word.size() && (word[i] == 'e' || word[i] == 'E')) {
        ++i;
        skipSign();
        const size_t exponent = digits();
        if (exponent == 0 || exponent > maxDigits)
            return false;
    }
    return i == word.size();
}

// The line of the first word that breaks the grammar of a text STL (the last
// line when the text ends too early), or 0; facets receives how many whole
// facets came before.
int faultyLine(const char *begin, const char *end, int &facets)
{
    Words words(begin, end);
    const auto expect = [&words](std::string_view wanted) { return words.next() == wanted; };
    const auto expectPoint = [&words] {
        return isNumber(words.nextOnLine()) && isNumber(words.nextOnLine()) && isNumber(words.nextOnLine());
    };
    // assimp takes "solid" and "endsolid" as the start of a word, the rest
    // of the word, or else the next word on the line, as the solid's name.
    const auto startsWith = [](std::string_view word, std::string_view start) {
        return word.substr(0, start.size()) == start;
    };
    const auto solid = [&words, &startsWith](std::string_view word) {
        if (!startsWith(word, "solid"))
            return false;
        const std::string_view name = word.size() > 5 ? word.substr(5) : words.nextOnLine();
        words.skipLine();
        return name.size() <= maxNameBytes;
    };

    facets = 0;
    if (!solid(words.next()))
        return words.line();
    for (;;) {
        const std::string_view word = words.next();
        if (startsWith(word, "endsolid")) {
            words.skipLine();
            const std::string_view after = words.next();
            if (after.empty())
                return 0;
            if (!solid(after))
                return words.line();
            continue;
        }
        if (word != "facet" || words.nextOnLine() != "normal" || !expectPoint() || !expect("outer")
            || !expect("loop"))
            return words.line();
        for (int corner = 0; corner < 3; ++corner) {
            if (!expect("vertex") || !expectPoint())
                return words.line();
        }
        if (!expect("endloop") || !expect("endfacet"))
            return words.line();
        ++facets;
    }
}

} // namespace

QString StlCheck::problem(const QString &path)
{
    const QString unreadable = ReadableFile::problem(path);
    if (!unreadable.isEmpty())
        return unreadable;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    const qint64 size = file.size();
    if (size == 0)
        return QStringLiteral("the file is empty");

    const QByteArray head = file.read(binaryHeaderBytes);
    const quint32 count = size >= binaryHeaderBytes ? qFromLittleEndian<quint32>(head.constData() + 80) : 0;
    // assimp drops a leading byte-order mark before it tells the encoding,
    // so such a file is never binary to it, whatever its size.
    const bool byteOrderMark = head.startsWith("\xEF\xBB\xBF");
    if (!byteOrderMark && size >= binaryHeaderBytes && binaryHeaderBytes + binaryTriangleBytes * qint64(count) == size)
        return count == 0 ? QStringLiteral("the file holds no triangles") : QString();

    int start = byteOrderMark ? 3 : 0;
    while (start < head.size() && (head[start] == ' ' || head[start] == '\t'))
        ++start;
    if (!head.mid(start).startsWith("solid")) {
        // assimp tells a text file by "solid" in small letters only.
        if (head.mid(start, 5).toLower() == "solid")
            return QStringLiteral("a text STL file begins with \"solid\" in small letters, this one with \"%1\"")
                .arg(QString::fromLatin1(head.mid(start, 5)));
        if (looksLikeText(head))
            return QStringLiteral("not an STL file: it is text that does not begin with \"solid\"");
        if (size < binaryHeaderBytes)
            return QStringLiteral("not a readable STL file");
        return QStringLiteral("the file is damaged or incomplete: it announces %1 triangles, which take %2 bytes, "
                              "but it has %3")
            .arg(count)
            .arg(binaryHeaderBytes + binaryTriangleBytes * qint64(count))
            .arg(size);
    }

    // Mapping fails on some special file systems; reading then does the same.
    QByteArray copy;
    const char *text = reinterpret_cast<const char *>(file.map(0, size));
    qint64 length = size;
    if (!text) {
        file.seek(0);
        copy = file.readAll();
        text = copy.constData();
        length = copy.size();
    }
    // assimp stops reading at a zero byte, as at the end of the text.
    if (const char *zero = static_cast<const char *>(std::memchr(text, 0, size_t(length))))
        return QStringLiteral("the file is damaged or incomplete at line %1").arg(lineAt(text, zero));
    int facets = 0;
    if (const int line = faultyLine(text + start, text + length, facets))
        return QStringLiteral("the file is damaged or incomplete at line %1").arg(line);
    if (facets == 0)
        return QStringLiteral("the file holds no triangles");
    return QString();
}
