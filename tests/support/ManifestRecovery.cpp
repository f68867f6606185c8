#include "support/ManifestRecovery.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "fs/IFileSystem.h"
#include "fs/KNodeTree.h"
#include "support/TestFiles.h"
#include "support/TestTrees.h"

ManifestRecovery RecoverManifestFiles(IFileSystem& fs, const KNodeTree& tree, const std::string& image,
                                      const std::vector<std::string>& states,
                                      const std::function<void(const ManifestFile&, const tagFileNode&)>& each)
{
    ManifestRecovery out;
    TempDir dir;
    for (const ManifestFile& file : LoadManifest(image).Files)
    {
        if (std::find(states.begin(), states.end(), file.State) == states.end()) continue;
        ++out.Wanted;
        const tagTreeNode* node = WalkTree(tree, file.Path); // empty files too
        if (node == nullptr || node->pRecord == nullptr)
        {
            out.Missing.push_back(file.Path);
            continue;
        }
        const tagFileNode& record = *node->pRecord;
        ++out.Listed;
        out.Streams += (record.byKind & FN_KIND_STREAM) != 0;
        EXPECT_EQ((record.byKind & FN_KIND_DELETED) != 0, file.State.starts_with("deleted")) << file.Path;
        EXPECT_EQ(record.s64Size, file.Size) << file.Path;
        if (each) each(file, record);
        const std::string target = dir.File("f" + std::to_string(out.Listed));
        fs.ClearUnreadBytes();
        if (fs.SaveFile(&record, target) == 0 && fs.GetUnreadBytes() == 0 && Sha256OfFile(target) == file.Sha256)
            ++out.Exact;
        else
            out.Wrong.push_back(file.Path);
    }
    return out;
}
