#pragma once
// Name matching for the file list's filter, its find and the command line's selection.
//
// A pattern of "*" alone matches everything. Otherwise the pattern is cut at every "*" into
// its non-empty pieces (none: nothing matches); "?" in a piece matches any one character.
// Without a leading "*" the first piece must match at the very start of the name, and a
// pattern without any "*" must be exactly as long as the name. Every further piece (every piece, after
// a leading "*") must then occur further on, in order, each search starting where the previous
// match ended. Nothing ties the last piece to the end of the name: "*.doc" also matches
// "x.docx", and "IMG*" matches every name that starts with IMG. Case is ignored (ASCII letters) unless asked.
#include <string_view>

bool WildcardMatch(std::string_view name, std::string_view pattern, bool caseSensitive = false);
