#include "core/WildcardMatch.h"

#include <vector>

namespace {

char Fold(char c, bool caseSensitive)
{
    if (!caseSensitive && c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return c;
}

// Does `piece` match `name` at `at`, with "?" for any one character?
bool PieceAt(std::string_view name, size_t at, std::string_view piece, bool caseSensitive)
{
    if (at > name.size() || piece.size() > name.size() - at) return false;
    for (size_t i = 0; i < piece.size(); ++i)
    {
        if (piece[i] != '?' && Fold(piece[i], caseSensitive) != Fold(name[at + i], caseSensitive)) return false;
    }
    return true;
}

std::vector<std::string_view> Pieces(std::string_view pattern)
{
    std::vector<std::string_view> pieces;
    size_t start = 0;
    while (start <= pattern.size())
    {
        const size_t star = pattern.find('*', start);
        const size_t end = star == std::string_view::npos ? pattern.size() : star;
        if (end > start) pieces.push_back(pattern.substr(start, end - start));
        if (star == std::string_view::npos) break;
        start = star + 1;
    }
    return pieces;
}

} // namespace

bool WildcardMatch(std::string_view name, std::string_view pattern, bool caseSensitive)
{
    if (pattern == "*") return true;
    const std::vector<std::string_view> pieces = Pieces(pattern);
    if (pieces.empty()) return false;
    size_t next = 0;
    size_t first = 0;
    if (pattern.front() != '*')
    {
        if (!PieceAt(name, 0, pieces[0], caseSensitive)) return false;
        // A pattern without any "*" names the whole name. "IMG*" must still find IMG_0001.JPG,
        // so a trailing star lifts the length tie.
        if (pieces.size() == 1 && pattern.find('*') == std::string_view::npos) return name.size() == pieces[0].size();
        next = pieces[0].size();
        first = 1;
    }
    for (size_t p = first; p < pieces.size(); ++p)
    {
        size_t at = next;
        while (at <= name.size() && !PieceAt(name, at, pieces[p], caseSensitive)) ++at;
        if (at > name.size()) return false;
        next = at + pieces[p].size();
    }
    return true;
}
