#pragma once
// The JSON listing of `vlm ls --json` and `vlm find --json`, written entry by entry as the
// tree is walked, so that a listing of millions of files needs no more memory than one entry:
//   {
//     "files": [
//       {
//         "attributes": "a______",
//         "condition": "intact",        (null for a folder)
//         "created": "2024-1-2 3:4:5",  (null without a time)
//         "folder": false,
//         "modified": ...,
//         "name": "x.txt",
//         "path": "dir/x.txt",
//         "size": 12,                   (null without a size)
//         "state": "present",
//         "stream": true                (only for a named data stream)
//       }
//     ],
//     "total_bytes": 12,
//     "total_files": 1
//   }
// Keys in this order and two blanks of indent per level, the layout of a JSON library's
// pretty-printer with sorted keys, which the listing was first written with. Text is copied as
// UTF-8; a byte that is not part of valid UTF-8 is written as U+FFFD.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

class KNodeTree;
struct tagTreeNode;

class CJsonListing
{
public:
    explicit CJsonListing(std::FILE* out);
    ~CJsonListing();
    CJsonListing(const CJsonListing&) = delete;
    CJsonListing& operator=(const CJsonListing&) = delete;

    /// One entry of the "files" array.
    void Add(const KNodeTree& tree, const tagTreeNode* node, std::string_view path);
    /// Closes the array and the object with the totals; false when any write failed.
    bool Finish(uint32_t totalFiles, uint64_t totalBytes);

    /// `text` as a JSON string (quotes included) appended to `out`.
    static void AppendString(std::string* out, std::string_view text);

private:
    void Flush();

    std::FILE* m_Out;
    std::string m_Buffer;
    size_t m_Entries = 0;
    bool m_Failed = false;
    bool m_Finished = false;
};
