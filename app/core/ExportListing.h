#pragma once
// The plain-text listing of a file tree, one block per folder in the manner of a directory
// listing:
//   Directory of <path>
//   <blank line>
//   MM/DD/YYYY  HH:MM  <size or <DIR> in 12 columns>  name      (one line per child)
//   \t\t<n> File(s) \t<bytes> bytes                            (folders not counted)
//   <blank line>
// then the block of each sub-folder in tree order, depth first. A folder's path is the root's
// name for the root, else its parent's path, a backslash and its name.
#include <cstdint>
#include <functional>
#include <string>

class KNodeTree;
struct tagTreeNode;

class CExportListing
{
public:
    /// Receives the listing piece by piece; false stops the export (a failed write).
    using Sink = std::function<bool(const std::string& text)>;

    /// The date field of a child: its modification time as "%.2d/%.2d/%.4d  %.2d:%.2d", or as
    /// many blanks when it has none.
    static std::string DateField(const tagTreeNode* node);
    /// Writes the listing of `tree` from its root; false when the sink failed.
    static bool Write(const KNodeTree& tree, const Sink& sink);
    /// Creates (or replaces) the text file `path` with the listing; a system error code.
    static uint32_t ExportToFile(const KNodeTree& tree, const std::string& path);
};
