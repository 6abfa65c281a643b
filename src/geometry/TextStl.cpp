#include "geometry/TextStl.h"

#include "geometry/FaceNormals.h"
#include "geometry/VertexJoiner.h"

#include <QFile>

#include <assimp/fast_atof.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

namespace {

constexpr qint64 bytesPerRead = qint64(1) << 20;
constexpr size_t cornersPerJoin = 3 * 4096;
// A corner of a typical text file takes some 65 bytes; the guess sizes the
// arrays and the first solid's join table, which grow when it was short.
constexpr qint64 bytesPerCornerGuess = 60;

// assimp reads the text otherwise than the grammar says.
struct LeftToAssimp
{
};
// The text no longer follows the grammar it was checked against.
struct Changed
{
    // assimp's number parser throws with the word that is no number.
    template <typename... Words>
    explicit Changed(const Words &...)
    {
    }
};

bool startsWith(std::string_view word, std::string_view start)
{
    return word.substr(0, start.size()) == start;
}

// Reads the words of the text in order, a buffer of whole lines at a time,
// keeping its place in the grammar from one buffer to the next, and hands
// the corners of the facets to the vertex join, a new one for each solid.
class Parser
{
public:
    Parser(std::vector<MeshVertex> &vertices, std::vector<uint32_t> &indices, qint64 fileSize, bool makeZeroNormals)
        : m_vertices(vertices)
        , m_indices(indices)
        , m_expectedCorners(size_t(fileSize / bytesPerCornerGuess))
        , m_join(makeZeroNormals)
    {
        m_vertices.reserve(m_expectedCorners);
        m_indices.reserve(m_expectedCorners);
        m_corners.reserve(cornersPerJoin);
    }

    // [at, end) holds whole lines, or the last part of the text; *end is
    // readable and ends a number.
    void parse(const char *at, const char *end)
    {
        while (at < end) {
            switch (*at) {
            case ' ':
            case '\t':
                ++at;
                continue;
            case '\n':
                m_newLine = true;
                ++at;
                continue;
            case '\r':
                // assimp ends a line at a carriage return, the grammar at a
                // line feed only; they agree when one follows the other.
                if (at + 1 == end || at[1] != '\n')
                    throw LeftToAssimp();
                ++at;
                continue;
            case '\v':
            case '\f':
                throw LeftToAssimp();
            default:
                break;
            }
            const char *start = at;
            while (at < end && !isSeparator(*at))
                ++at;
            word(std::string_view(start, size_t(at - start)));
            m_newLine = false;
        }
    }

    // Joins the corners still waiting; the text must have ended after a
    // solid's "endsolid" line.
    void finish()
    {
        if (m_place != Place::AfterEndsolid)
            throw Changed();
        join();
    }

private:
    enum class Place { BeforeSolid, Name, AfterName, Body, Facet, AfterEndsolid };

    static bool isSeparator(char c)
    {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

    void word(std::string_view word)
    {
        // What follows a solid's name or "endsolid" on its line is no part of
        // a facet; the next line is.
        if (m_newLine && (m_place == Place::Name || m_place == Place::AfterName))
            m_place = Place::Body;
        if (m_newLine && m_place == Place::AfterEndsolid)
            m_place = Place::BeforeSolid;

        switch (m_place) {
        case Place::BeforeSolid:
            if (!startsWith(word, "solid"))
                throw Changed();
            startSolid();
            // "solid" runs into the name, or the next word is the name.
            m_place = word.size() > 5 ? Place::AfterName : Place::Name;
            return;
        case Place::Name:
            m_place = Place::AfterName;
            return;
        case Place::AfterName:
            // assimp reads on after a solid's name as if a new line began.
            if (word == "facet" || startsWith(word, "endsolid"))
                throw LeftToAssimp();
            return;
        case Place::Body:
            if (startsWith(word, "endsolid")) {
                m_place = Place::AfterEndsolid;
            } else if (word == "facet") {
                m_place = Place::Facet;
                m_step = 0;
            } else {
                throw Changed();
            }
            return;
        case Place::Facet:
            facetWord(word);
            return;
        case Place::AfterEndsolid:
            return;
        }
    }

    // The words after "facet": "normal", three numbers, "outer", "loop",
    // three times "vertex" and three numbers, "endloop", "endfacet".
    void facetWord(std::string_view word)
    {
        static const std::string_view keywords[] = {"normal", "", "", "", "outer", "loop", "vertex", "", "", "",
                                                     "vertex", "", "", "", "vertex", "", "", "", "endloop",
                                                     "endfacet"};
        const int step = m_step++;
        if (!keywords[step].empty()) {
            if (word != keywords[step])
                throw Changed();
            if (step == 19)
                m_place = Place::Body;
            return;
        }
        if (step <= 3) {
            m_normal[step - 1] = number(word);
            return;
        }
        const int axis = (step - 7) % 4;
        m_point[axis] = number(word);
        if (axis < 2)
            return;
        // A normal that is no number shades as none.
        const bool finite = std::isfinite(m_normal[0]) && std::isfinite(m_normal[1]) && std::isfinite(m_normal[2]);
        m_corners.push_back({m_point[0], m_point[1], m_point[2], finite ? m_normal[0] : 0,
                             finite ? m_normal[1] : 0, finite ? m_normal[2] : 0});
        if (m_corners.size() == cornersPerJoin)
            join();
    }

    // The number as assimp reads it.
    static float number(std::string_view word)
    {
        ai_real value = 0;
        if (Assimp::fast_atoreal_move<ai_real, Changed>(word.data(), value) != word.data() + word.size())
            throw Changed();
        return float(value);
    }

    void startSolid()
    {
        join();
        // assimp makes a mesh of each solid, and the model joins the
        // vertices of each mesh among themselves. Most files hold one solid;
        // the tables for any later ones start small and grow.
        m_joiner.reset();
        m_joiner = std::make_unique<VertexJoiner>(m_vertices, m_vertices.empty() ? m_expectedCorners : 0);
    }

    void join()
    {
        if (m_corners.empty())
            return;
        const size_t done = m_indices.size();
        m_indices.resize(done + m_corners.size());
        m_join.add(m_joiner, m_vertices, m_expectedCorners, m_corners.data(), m_corners.size(),
                   m_indices.data() + done);
        m_corners.clear();
    }

    std::vector<MeshVertex> &m_vertices;
    std::vector<uint32_t> &m_indices;
    const size_t m_expectedCorners;
    std::unique_ptr<VertexJoiner> m_joiner;
    std::vector<MeshVertex> m_corners; // read, waiting for the join
    Place m_place = Place::BeforeSolid;
    bool m_newLine = true;
    int m_step = 0; // words of the current facet read after "facet"
    FaceNormals::Join m_join;
    float m_normal[3] = {};
    float m_point[3] = {};
};

} // namespace

TextStl::Outcome TextStl::read(const QString &path, MeshPrimitiveData &mesh, QString *problem, bool makeZeroNormals)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = file.errorString();
        return Outcome::Failed;
    }
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;
    try {
        Parser parser(vertices, indices, file.size(), makeZeroNormals);
        // A byte-order mark is dropped when assimp reads the text.
        if (file.peek(3) == QByteArray("\xEF\xBB\xBF"))
            file.skip(3);
        // The text waiting to be read: the unfinished line after the last
        // line feed is kept for the next read, and a zero after the text
        // ends a number at the end of the file.
        std::vector<char> text;
        size_t kept = 0;
        for (;;) {
            text.resize(kept + size_t(bytesPerRead) + 1);
            const qint64 got = file.read(text.data() + kept, bytesPerRead);
            if (got < 0) {
                *problem = file.errorString();
                return Outcome::Failed;
            }
            const size_t filled = kept + size_t(got);
            text[filled] = '\0';
            if (got == 0) {
                parser.parse(text.data(), text.data() + filled);
                break;
            }
            const void *lastLine = memrchr(text.data(), '\n', filled);
            const char *end = lastLine ? static_cast<const char *>(lastLine) + 1 : text.data();
            parser.parse(text.data(), end);
            kept = size_t(text.data() + filled - end);
            std::memmove(text.data(), end, kept);
        }
        parser.finish();
        mesh.vertices = std::move(vertices);
        mesh.indices = std::move(indices);
    } catch (const LeftToAssimp &) {
        return Outcome::Declined;
    } catch (const std::bad_alloc &) {
        *problem = QStringLiteral("not enough memory to load more than %1 triangles").arg(indices.size() / 3);
        return Outcome::Failed;
    } catch (const Changed &) {
        *problem = QStringLiteral("the file changed while it was read");
        return Outcome::Failed;
    }
    return Outcome::Read;
}
