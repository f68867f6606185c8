#pragma once
// Reading the manifests of the committed test images and finding their paths in a built
// tree (see tests/data/README.md for the format).
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fs/KNodeTree.h"

struct ManifestEntry
{
    std::string state, sha, path;
    int64_t size = 0;
};

struct ManifestPartition
{
    std::string label, fs, state;
    int64_t start = 0, sectors = 0;
};

inline std::vector<ManifestEntry> ReadManifest(const std::string& path)
{
    std::vector<ManifestEntry> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
    {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream s(line);
        ManifestEntry e;
        std::string size;
        std::getline(s, e.state, '\t');
        std::getline(s, size, '\t');
        std::getline(s, e.sha, '\t');
        std::getline(s, e.path);
        e.size = std::stoll(size);
        out.push_back(e);
    }
    return out;
}

// The "# partition ..." header lines.
inline std::vector<ManifestPartition> ReadManifestPartitions(const std::string& path)
{
    std::vector<ManifestPartition> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line))
    {
        if (line.rfind("# partition ", 0) != 0)
            continue;
        std::istringstream s(line.substr(12));
        ManifestPartition p;
        s >> p.label;
        std::string field;
        while (s >> field)
        {
            const size_t eq = field.find('=');
            if (eq == std::string::npos)
                continue;
            const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
            if (key == "start")
                p.start = std::stoll(value);
            else if (key == "sectors")
                p.sectors = std::stoll(value);
            else if (key == "fs")
                p.fs = value;
            else if (key == "state")
                p.state = value;
        }
        out.push_back(p);
    }
    return out;
}

// The node at `path` (parts separated by '/') below `from` (the root when null).
inline const tagTreeNode* WalkTree(const KNodeTree& tree, const std::string& path, const tagTreeNode* from = nullptr)
{
    const tagTreeNode* node = from ? from : tree.GetRoot();
    std::istringstream parts(path);
    std::string part;
    while (node && std::getline(parts, part, '/'))
    {
        const tagTreeNode* found = nullptr;
        for (const tagTreeNode* c = KNodeTree::GetFirstChild(node); c && !found; c = KNodeTree::GetNextSibling(c))
            if (part == tree.GetName(c))
                found = c;
        node = found;
    }
    return node;
}
