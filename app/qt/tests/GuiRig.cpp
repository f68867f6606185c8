#include "GuiRig.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QCoreApplication>
#include <QDialog>

#include "CMainFrame.h"
#include "core/CGlobalParamTable.h"
#include "core/DeviceList.h"
#include "os/OsDeviceTable.h"

namespace {

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, separator))
        parts.push_back(part);
    return parts;
}

bool SameComponent(const std::string& recovered, const std::string& expected)
{
    if (recovered.size() != expected.size())
        return false;
    for (size_t i = 0; i < recovered.size(); ++i)
    {
        // A deleted short name has lost its first character.
        if (i == 0 && recovered[0] == '_')
            continue;
        if (std::toupper(static_cast<unsigned char>(recovered[i])) != std::toupper(static_cast<unsigned char>(expected[i])))
            return false;
    }
    return true;
}

const char* KindName(GuiDialogs::EBox kind)
{
    switch (kind)
    {
    case GuiDialogs::EBox::Information: return "info";
    case GuiDialogs::EBox::Warning: return "warning";
    case GuiDialogs::EBox::Error: return "error";
    default: return "question";
    }
}

} // namespace

GuiRig::GuiRig()
{
    qputenv("VLM_RESUME_DIR", QByteArray::fromStdString(m_Temp.File("resume")));
    OsDeviceTable::Instance().ClearImages();
    GuiDialogs::SetBoxHook([this](GuiDialogs::EBox kind, const QString& text) {
        Messages.push_back(std::string(KindName(kind)) + ": " + text.toStdString());
        if (OnBox)
            OnBox(text);
        if (kind != GuiDialogs::EBox::YesNo && kind != GuiDialogs::EBox::YesNoCancel)
            return QMessageBox::Ok;
        if (Answers.empty())
            return QMessageBox::Yes;
        const QMessageBox::StandardButton answer = Answers.front();
        Answers.pop_front();
        return answer;
    });
    GuiDialogs::SetExecHook([this](QDialog& dialog) { return OnDialog ? OnDialog(dialog) : int(QDialog::Rejected); });
    GuiDialogs::SetChooserHook([this](GuiDialogs::EChooser kind, const QString& title) {
        return OnChooser ? OnChooser(kind, title) : QString();
    });
    m_pFrame = std::make_unique<CMainFrame>(&m_Clock);
    m_pFrame->show();
}

GuiRig::~GuiRig()
{
    m_pFrame.reset();
    GuiDialogs::ClearHooks();
    OsDeviceTable::Instance().ClearImages();
    QCoreApplication::processEvents();
}

std::string GuiRig::AddImage(const std::string& name)
{
    const std::string path = m_Temp.File(name + ".img");
    if (!UnpackZst(SourcePath("tests/data/" + name + ".img.zst"), path))
        return {};
    OsDeviceTable::Instance().RegisterImage(path);
    return path;
}

bool GuiRig::SawMessage(const std::string& text) const
{
    for (const std::string& m : Messages)
    {
        if (m.find(text) != std::string::npos)
            return true;
    }
    return false;
}

std::string GuiRig::MessagesText() const
{
    std::string all;
    for (const std::string& m : Messages)
        all += m + "\n";
    return all;
}

int GuiRig::VolumeOf(const std::string& fs)
{
    CGlobalParamTable& session = m_pFrame->Session();
    for (const tagDeviceRow& row : CDeviceList::Rows(session.VolumeManager(), session.GetModule()))
    {
        if (!row.bPhysical && row.strDevice.find(fs) != std::string::npos)
            return row.nVolume;
    }
    return -1;
}

std::vector<tagManifestEntry> GuiRig::ReadManifest(const std::string& name)
{
    std::vector<tagManifestEntry> entries;
    std::ifstream in(SourcePath("tests/data/" + name + ".manifest"));
    std::string line;
    while (std::getline(in, line))
    {
        if (line.empty() || line[0] == '#')
            continue;
        const std::vector<std::string> f = Split(line, '\t');
        if (f.size() == 4)
            entries.push_back({f[0], std::atoll(f[1].c_str()), f[2], f[3]});
    }
    return entries;
}

std::map<std::string, std::string> GuiRig::HashTree(const std::string& folder)
{
    std::map<std::string, std::string> tree;
    if (!std::filesystem::exists(folder))
        return tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    {
        if (entry.is_regular_file())
            tree[std::filesystem::relative(entry.path(), folder).string()] = Sha256OfFile(entry.path().string());
    }
    return tree;
}

std::string GuiRig::FindRecovered(const std::map<std::string, std::string>& tree, const std::string& path)
{
    const std::vector<std::string> want = Split(path, '/');
    for (const auto& [recovered, sha] : tree)
    {
        const std::vector<std::string> have = Split(recovered, '/');
        if (have.size() != want.size())
            continue;
        bool same = true;
        for (size_t i = 0; i < have.size() && same; ++i)
            same = SameComponent(have[i], want[i]);
        if (same)
            return recovered;
    }
    return {};
}
