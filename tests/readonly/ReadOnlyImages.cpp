#include "ReadOnlyImages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

tagImageFingerprint FingerprintOf(const std::string& path)
{
    tagImageFingerprint f;
    struct stat st
    {};
    if (stat(path.c_str(), &st) != 0) return f;
    f.Sha256 = Sha256OfFile(path);
    f.Size = static_cast<uint64_t>(st.st_size);
    f.MtimeSec = st.st_mtim.tv_sec;
    f.MtimeNsec = st.st_mtim.tv_nsec;
    return f;
}

ReadOnlyImages::ReadOnlyImages(const std::vector<std::string>& names) : m_Names(names)
{
    for (const std::string& name : names)
    {
        const std::string path = Path(name);
        EXPECT_TRUE(UnpackFixtureImage(name, path)) << name;
        // Permissions as a careful user would set them do not matter to root; the checks
        // below look at the bytes and times instead.
        chmod(path.c_str(), 0444);
        m_Before.push_back(FingerprintOf(path));
    }
}

std::string ReadOnlyImages::Path(const std::string& name) const { return m_Dir.File(name + ".img"); }

void ReadOnlyImages::ExpectUnchanged() const
{
    for (size_t i = 0; i < m_Names.size(); ++i)
    {
        const tagImageFingerprint now = FingerprintOf(Path(m_Names[i]));
        EXPECT_FALSE(now.Sha256.empty()) << m_Names[i];
        EXPECT_EQ(now.Sha256, m_Before[i].Sha256) << m_Names[i] << ": content changed";
        EXPECT_EQ(now.Size, m_Before[i].Size) << m_Names[i];
        EXPECT_EQ(now.MtimeSec, m_Before[i].MtimeSec) << m_Names[i] << ": modification time changed";
        EXPECT_EQ(now.MtimeNsec, m_Before[i].MtimeNsec) << m_Names[i];
    }
}
