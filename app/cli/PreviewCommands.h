#pragma once
// "vlm cat SOURCE PATH" writes the recovered bytes of one file to standard output (for pipes);
// "vlm preview SOURCE PATH" prints a hex and text dump of its head. Both read the file through
// the engine's stream; the source is only ever read.
#include <cstdint>
#include <cstdio>
#include <string>

class CCliSession;
class IFileSystem;
class KNodeTree;
struct tagTreeNode;

/// Bytes of the head that "vlm preview" dumps.
inline constexpr int64_t kPreviewDumpBytes = 512;

/// The node whose path (as "vlm ls" prints it, "/" between folders, a trailing "/" allowed)
/// is `path`; null when none. The first of several equal paths.
const tagTreeNode* FindTreePath(const KNodeTree& tree, const std::string& path);

/// Writes the file's bytes to `out`. An exit status: 0; 1 when refused or unreadable (the
/// reason on standard error); 3 when parts could not be read and were written as zeros.
int CatFile(IFileSystem& fs, const KNodeTree& tree, const tagTreeNode* node, FILE* out);
/// Prints the name, size and a dump of the first `bytes` bytes to `out`. Exit status as above.
int PreviewFile(IFileSystem& fs, const KNodeTree& tree, const tagTreeNode* node, FILE* out,
                int64_t bytes = kPreviewDumpBytes);

/// The subcommands: SOURCE in options.strSource, PATH in options.strFile.
int CmdCat(CCliSession& cli);
int CmdPreview(CCliSession& cli);
