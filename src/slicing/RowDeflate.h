#pragma once

#include <QByteArray>

class QImage;

namespace CWS {

// The zlib stream of an image's rows as a PNG holds them: each row of
// rowBytes bytes led by filter type 0 (none). It is coded as zlib's
// run-length strategy codes it, each run of equal bytes as the byte and
// copies of up to 258 bytes from distance 1, in one deflate block with
// Huffman codes fitted to the image; but the runs are found eight bytes at
// a time and the checksum taken a run at a time, so a layer costs time in
// proportion to its edges rather than its pixels.
QByteArray deflateRows(const QImage &image, int rowBytes);

} // namespace CWS
