#pragma once

#include <QString>

// A look at an STL file before assimp reads it, for the files assimp would
// refuse without a useful reason or, worse, read in part without a word: it
// skips words it does not know in a text file and stops at a zero byte,
// which leaves a model with facets missing or shifted; and a number it
// cannot read makes it throw out of its text reader, losing memory.
//
// The encoding is told as assimp tells it: a file whose size is exactly
// 84 bytes plus 50 per triangle of the count at byte 80 is binary, unless it
// starts with a UTF-8 byte-order mark (which assimp drops first); one that
// starts with "solid" (after such a mark, spaces or tabs) is text.
namespace StlCheck {

// Empty when the file at path (a local path) may go to the importer;
// otherwise what is wrong, in words for the user: why it is no regular file
// that can be read (ReadableFile::problem), "the file is empty", "the file
// holds no triangles", "a text STL file begins with "solid" in small letters,
// this one with "SOLID"", "not an STL file: it is text that does not begin
// with "solid"", "not a readable STL file" (neither encoding, under 84
// bytes), "the file is damaged or incomplete: it announces N triangles,
// which take B bytes, but it has S" (neither encoding), or "the file is
// damaged or incomplete at line N" (lines end at a line feed, a carriage
// return, or both) for the first line of a text that breaks the grammar:
// "solid" and a name of at most
// 1023 bytes, facets of "facet normal" and three numbers, "outer loop",
// three times "vertex" and three numbers, "endloop", "endfacet", then
// "endsolid"; more solids may follow. The numbers stand on the line of
// their keyword; a number is an optional sign, then "nan", "inf" or
// "infinity", or digits (at most 19 before the point, at least one in all)
// with an optional point and an optional exponent of 1 to 19 digits. A
// zero byte anywhere breaks the text. The text is read once,
// mapped into memory; of a binary file only the first 84 bytes are read.
QString problem(const QString &path);

} // namespace StlCheck
