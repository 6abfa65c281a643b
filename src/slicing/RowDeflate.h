#pragma once

#include <QByteArray>

#include <functional>

class QImage;

namespace CWS {

// One row of an image as the encoder reads it: bytes points at the row's
// rowBytes bytes, of which only begin to end - 1 are read; every other byte
// of the row is 0. A black row may leave bytes null and begin = end.
struct RowBytes
{
    const uchar *bytes = nullptr;
    int begin = 0;
    int end = 0;
};

// Hands out row y of an image; asked for rows 0, 1, 2, ... in order, each
// once, so it may make them one at a time into a buffer of its own, which
// must stay valid until the next call.
using RowSource = std::function<RowBytes(int y)>;

// The zlib stream of an image's rows as a PNG holds them: each row of
// rowBytes bytes led by filter type 0 (none). It is coded as zlib's
// run-length strategy codes it, each run of equal bytes as the byte and
// copies of up to 258 bytes from distance 1, in one deflate block with
// Huffman codes fitted to the image; but the runs are found eight bytes at
// a time and the checksum taken a run at a time, so a layer costs time in
// proportion to its edges rather than its pixels.
QByteArray deflateRows(const QImage &image, int rowBytes);
// The same stream for rows rows of rowBytes bytes read from row: only the
// bytes it names are looked at, so black parts cost next to nothing.
QByteArray deflateRows(int rows, int rowBytes, const RowSource &row);

} // namespace CWS
