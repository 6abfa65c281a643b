#include "slicing/RowDeflate.h"

#include <QImage>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <queue>
#include <vector>

namespace CWS {

namespace {

constexpr quint32 adlerBase = 65521;
constexpr int literalSymbols = 286; // literals, end of block, copy lengths
constexpr int endOfBlock = 256;
constexpr int longestCopy = 258;
constexpr int shortestCopy = 3;

// Deflate's bit order: fields from the lowest bit up. Huffman codes are
// handed over with their first bit lowest.
class BitWriter
{
public:
    explicit BitWriter(QByteArray &out) : m_out(out) {}

    void bits(quint32 value, int count)
    {
        m_buffer |= quint64(value) << m_count;
        m_count += count;
        if (m_count >= 32) {
            const quint32 word = qToLittleEndian(quint32(m_buffer));
            m_out.append(reinterpret_cast<const char *>(&word), 4);
            m_buffer >>= 32;
            m_count -= 32;
        }
    }
    // Writes what is left, the last byte filled up with zeros.
    void finish()
    {
        for (; m_count > 0; m_count -= 8) {
            m_out.append(char(m_buffer & 0xff));
            m_buffer >>= 8;
        }
        m_count = 0;
    }

private:
    QByteArray &m_out;
    quint64 m_buffer = 0;
    int m_count = 0;
};

// The Adler-32 sum of the stream, taken a run of equal bytes at a time.
class Adler
{
public:
    // count bytes of value byte: a grows by count x byte, and b by the a
    // before each of them, count x a + byte x count x (count + 1) / 2.
    void add(uchar byte, qint64 count)
    {
        const quint64 n = quint64(count);
        // One of n and n + 1 is even; it is halved before the product.
        const quint64 triangle = n % 2 == 0 ? (n / 2 % adlerBase) * ((n + 1) % adlerBase)
                                            : (n % adlerBase) * ((n + 1) / 2 % adlerBase);
        m_b = quint32((m_b + n % adlerBase * m_a + byte * (triangle % adlerBase)) % adlerBase);
        m_a = quint32((m_a + n % adlerBase * byte) % adlerBase);
    }
    quint32 value() const { return (m_b << 16) | m_a; }

private:
    quint32 m_a = 1;
    quint32 m_b = 0;
};

// A canonical Huffman code as deflate defines it, built from how often each
// symbol occurs: no code longer than maxBits, none for a symbol that does
// not occur, but at least two symbols coded, so that the code is complete.
class HuffmanCode
{
public:
    HuffmanCode(std::vector<quint64> frequencies, int maxBits)
        : m_lengths(frequencies.size())
        , m_codes(frequencies.size())
    {
        size_t used = size_t(std::count_if(frequencies.begin(), frequencies.end(), [](quint64 f) { return f > 0; }));
        for (size_t s = 0; used < 2; ++s) {
            if (frequencies[s] == 0) {
                frequencies[s] = 1;
                ++used;
            }
        }
        // Rare symbols beside very common ones can need long codes; halving
        // the counts evens them out until the longest fits.
        while (!fitLengths(frequencies, maxBits)) {
            for (quint64 &f : frequencies)
                f = f > 0 ? (f + 1) / 2 : 0;
        }
        std::array<int, 16> count{}, next{};
        for (quint8 length : m_lengths) {
            if (length > 0)
                ++count[length];
        }
        for (int bits = 1, code = 0; bits < 16; ++bits) {
            code = (code + count[size_t(bits - 1)]) << 1;
            next[size_t(bits)] = code;
        }
        for (size_t s = 0; s < m_lengths.size(); ++s) {
            const int length = m_lengths[s];
            if (length == 0)
                continue;
            const int code = next[size_t(length)]++;
            int reversed = 0;
            for (int i = 0; i < length; ++i)
                reversed |= ((code >> i) & 1) << (length - 1 - i);
            m_codes[s] = quint16(reversed);
        }
    }

    int length(int symbol) const { return m_lengths[size_t(symbol)]; }
    void write(BitWriter &out, int symbol) const { out.bits(m_codes[size_t(symbol)], m_lengths[size_t(symbol)]); }

private:
    // Huffman's construction: the two rarest nodes merge until one is left;
    // a symbol's code is as long as its leaf is deep. False when too deep.
    bool fitLengths(const std::vector<quint64> &frequencies, int maxBits)
    {
        const int symbols = int(frequencies.size());
        std::vector<int> parent(size_t(2 * symbols), -1);
        using Node = std::pair<quint64, int>;
        std::priority_queue<Node, std::vector<Node>, std::greater<Node>> rarest;
        for (int s = 0; s < symbols; ++s) {
            if (frequencies[size_t(s)] > 0)
                rarest.push({frequencies[size_t(s)], s});
        }
        int nodes = symbols;
        while (rarest.size() > 1) {
            const Node a = rarest.top();
            rarest.pop();
            const Node b = rarest.top();
            rarest.pop();
            parent[size_t(a.second)] = parent[size_t(b.second)] = nodes;
            rarest.push({a.first + b.first, nodes++});
        }
        // Parents are made after their children: depths follow from the root down.
        std::vector<int> depth(size_t(nodes), 0);
        for (int node = nodes - 2; node >= 0; --node) {
            if (parent[size_t(node)] >= 0)
                depth[size_t(node)] = depth[size_t(parent[size_t(node)])] + 1;
        }
        for (int s = 0; s < symbols; ++s) {
            if (depth[size_t(s)] > maxBits)
                return false;
            m_lengths[size_t(s)] = quint8(depth[size_t(s)]);
        }
        return true;
    }

    std::vector<quint8> m_lengths;
    std::vector<quint16> m_codes;
};

// A copy length's symbol and the extra bits after it.
struct CopyLength
{
    quint16 symbol = 0;
    quint8 extraBits = 0;
    quint8 extraValue = 0;
};

// Per copy length 3 ... 258: symbols 257 ... 264 for 3 ... 10, then groups
// of four with 1 ... 5 extra bits up to 257, and 285 for 258.
const std::array<CopyLength, longestCopy + 1> &copyLengths()
{
    static const std::array<CopyLength, longestCopy + 1> table = [] {
        std::array<CopyLength, longestCopy + 1> lengths{};
        int symbol = 257, from = shortestCopy;
        for (int extra = 0; extra <= 5; ++extra) {
            for (int i = 0; i < (extra == 0 ? 8 : 4); ++i, ++symbol, from += 1 << extra) {
                for (int v = 0; v < (1 << extra) && from + v < longestCopy; ++v)
                    lengths[size_t(from + v)] = {quint16(symbol), quint8(extra), quint8(v)};
            }
        }
        lengths[longestCopy] = {285, 0, 0};
        return lengths;
    }();
    return table;
}

// The run-length coding of the rows: a token below 256 is a literal byte,
// from 256 on a copy of (token - 256) bytes from distance 1. The tokens
// depend only on the bytes, not on how they are handed to add: equal bytes
// join the run before them.
std::vector<quint16> runTokens(int rows, int rowBytes, const RowSource &row, Adler &adler)
{
    std::vector<quint16> tokens;
    uchar runByte = 0;
    qint64 runLength = 0;
    const auto endRun = [&] {
        adler.add(runByte, runLength);
        tokens.push_back(runByte);
        qint64 left = runLength - 1;
        for (; left >= longestCopy; left -= longestCopy)
            tokens.push_back(256 + longestCopy);
        if (left >= shortestCopy)
            tokens.push_back(quint16(256 + left));
        for (; left > 0 && left < shortestCopy; --left)
            tokens.push_back(runByte);
    };
    const auto add = [&](uchar byte, qint64 count) {
        if (runLength > 0 && byte != runByte) {
            endRun();
            runLength = 0;
        }
        runByte = byte;
        runLength += count;
    };
    for (int y = 0; y < rows; ++y) {
        const RowBytes bytes = row(y);
        const int begin = std::clamp(bytes.begin, 0, rowBytes);
        const int end = bytes.bytes ? std::clamp(bytes.end, begin, rowBytes) : begin;
        add(0, 1 + begin); // filter type, then the black bytes before those named
        const uchar *line = bytes.bytes;
        for (int x = begin; x < end;) {
            const uchar byte = line[x];
            const quint64 same = 0x0101010101010101ull * byte;
            int next = x + 1;
            for (; next + 32 <= end; next += 32) {
                quint64 words[4];
                std::memcpy(words, line + next, 32);
                if (((words[0] ^ same) | (words[1] ^ same) | (words[2] ^ same) | (words[3] ^ same)) != 0)
                    break;
            }
            for (; next + 8 <= end; next += 8) {
                quint64 word;
                std::memcpy(&word, line + next, 8);
                if (word != same)
                    break;
            }
            while (next < end && line[next] == byte)
                ++next;
            add(byte, next - x);
            x = next;
        }
        if (end < rowBytes)
            add(0, rowBytes - end);
    }
    endRun();
    return tokens;
}

// The header of a block with dynamic codes: the code lengths of both codes
// as one sequence, runs shortened with the repeat symbols 16, 17 and 18 and
// coded with a code of their own.
void writeCodes(BitWriter &out, const HuffmanCode &literals, const HuffmanCode &distances)
{
    int literalCount = literalSymbols;
    while (literalCount > 257 && literals.length(literalCount - 1) == 0)
        --literalCount;
    std::vector<int> lengths;
    for (int s = 0; s < literalCount; ++s)
        lengths.push_back(literals.length(s));
    lengths.push_back(distances.length(0));
    lengths.push_back(distances.length(1));

    struct Entry
    {
        int symbol, extraBits, extraValue;
    };
    std::vector<Entry> entries;
    for (size_t i = 0; i < lengths.size();) {
        const int length = lengths[i];
        size_t run = 1;
        while (i + run < lengths.size() && lengths[i + run] == length)
            ++run;
        i += run;
        if (length == 0) {
            for (; run >= 11; run -= std::min<size_t>(run, 138))
                entries.push_back({18, 7, int(std::min<size_t>(run, 138) - 11)});
            if (run >= 3) {
                entries.push_back({17, 3, int(run - 3)});
                run = 0;
            }
        } else {
            entries.push_back({length, 0, 0});
            for (--run; run >= 3; run -= std::min<size_t>(run, 6))
                entries.push_back({16, 2, int(std::min<size_t>(run, 6) - 3)});
        }
        for (; run > 0; --run)
            entries.push_back({length, 0, 0});
    }
    std::vector<quint64> frequencies(19, 0);
    for (const Entry &e : entries)
        ++frequencies[size_t(e.symbol)];
    const HuffmanCode lengthCode(frequencies, 7);
    static constexpr int order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int orderCount = 19;
    while (orderCount > 4 && lengthCode.length(order[orderCount - 1]) == 0)
        --orderCount;

    out.bits(quint32(literalCount - 257), 5);
    out.bits(2 - 1, 5);
    out.bits(quint32(orderCount - 4), 4);
    for (int i = 0; i < orderCount; ++i)
        out.bits(quint32(lengthCode.length(order[i])), 3);
    for (const Entry &e : entries) {
        lengthCode.write(out, e.symbol);
        if (e.extraBits > 0)
            out.bits(quint32(e.extraValue), e.extraBits);
    }
}

} // namespace

QByteArray deflateRows(const QImage &image, int rowBytes)
{
    return deflateRows(image.height(), rowBytes, [&image, rowBytes](int y) {
        return RowBytes{image.constScanLine(y), 0, rowBytes};
    });
}

QByteArray deflateRows(int rows, int rowBytes, const RowSource &row)
{
    Adler adler;
    const std::vector<quint16> tokens = runTokens(rows, rowBytes, row, adler);
    const auto &copies = copyLengths();
    std::vector<quint64> frequencies(literalSymbols, 0);
    for (quint16 token : tokens)
        ++frequencies[token < 256 ? token : copies[token - 256u].symbol];
    frequencies[endOfBlock] = 1;
    const HuffmanCode literals(frequencies, 15);
    // Every copy is from distance 1; the second distance completes the code.
    const HuffmanCode distances({1, 1}, 15);

    QByteArray out("\x78\x01", 2); // deflate, 32 KiB window, fastest
    BitWriter writer(out);
    writer.bits(1, 1); // the last block
    writer.bits(2, 2); // dynamic codes
    writeCodes(writer, literals, distances);
    for (quint16 token : tokens) {
        if (token < 256) {
            literals.write(writer, token);
            continue;
        }
        const CopyLength &copy = copies[token - 256u];
        literals.write(writer, copy.symbol);
        if (copy.extraBits > 0)
            writer.bits(copy.extraValue, copy.extraBits);
        distances.write(writer, 0);
    }
    literals.write(writer, endOfBlock);
    writer.finish();
    const quint32 sum = qToBigEndian(adler.value());
    out.append(reinterpret_cast<const char *>(&sum), 4);
    return out;
}

} // namespace CWS
