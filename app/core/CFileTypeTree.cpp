#include "core/CFileTypeTree.h"

#include <algorithm>
#include <cctype>

#include "core/IUserPort.h"
#include "raw/KRawScanMgr.h"
#include "core/VlmStrings.h"

namespace {

struct GroupDef
{
    uint32_t name;
    const char* extensions;
};

// Extensions are matched as whole entries of these lists, without regard to case ("avi" is
// not "avif").
constexpr GroupDef kGroups[] = {
    {IDS_GROUP_DOCUMENT,
     "odt,ods,odp,odg,odb,docx,xlsx,pptx,doc,xls,ppt,one,pdf,pub,vsd,mpp,rtf,epub,txt,csv,html,xml,json,"
     "ps,eps,djvu,sh,c,py"},
    {IDS_GROUP_ARCHIVE, "zip,rar,7z,gz,bz2,xz,tar,cab,iso"},
    {IDS_GROUP_PICTURE,
     "jpg,gif,png,bmp,tif,psd,dwg,cdr,wmf,psp,pcx,emf,ico,cur,webp,heic,avif,svg,xcf,cr2,cr3,nef,"
     "arw,dng,orf,rw2,raf,pef,jp2"},
    {IDS_GROUP_AUDIO_VIDEO,
     "mov,3gp,3g2,mp4,m4a,m4v,mp3,avi,wav,mpg,asf,wmv,wma,mkv,webm,ogg,flac,aiff,aac,amr,flv,"
     "mid,wv,caf"},
    {IDS_GROUP_EMAIL, "pst,dbx,eml,mbox,msg,vcf,ics"},
    {IDS_GROUP_DATABASE, "mdf,mdb,sqlite,kdbx"},
    {IDS_GROUP_PROGRAM, "exe,dll,elf,ttf,otf,woff,woff2,lnk,dat,evtx"},
    {IDS_GROUP_OTHER, ""},
};

// Every type whose detection is reliable: each is told by its own structure (a header with
// checks beyond its magic bytes, or a walk of the file's records) and ended by it, so a scan
// with all of them finds no junk. Types of other plug-ins and the names of formats no shipped
// plug-in knows stay unchecked until the user asks for them.
const char* const kDefaultChecked =
    "docx,xlsx,pptx,doc,xls,ppt,pub,odt,ods,odp,pdf,rtf,epub,txt,csv,html,xml,json,ps,eps,djvu,"
    "zip,rar,7z,gz,bz2,xz,tar,cab,iso,"
    "jpg,gif,png,bmp,tif,psd,ico,cur,webp,heic,avif,svg,xcf,cr2,cr3,nef,arw,dng,orf,rw2,raf,pef,emf,jp2,"
    "mov,3gp,3g2,mp4,m4a,m4v,mp3,avi,wav,mpg,asf,wmv,wma,mkv,webm,ogg,flac,aiff,aac,amr,flv,mid,wv,caf,"
    "pst,dbx,eml,mbox,msg,sqlite,kdbx,"
    "vcf,ics,sh,c,py,exe,dll,elf,ttf,otf,woff,woff2,lnk,dat,evtx";

/// True when `extension` (upper case, not empty) is one of the entries of `list`.
bool ListNames(const std::string& list, const std::string& extension)
{
    return !extension.empty() && ("," + list + ",").find("," + extension + ",") != std::string::npos;
}

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

CFileTypeTree::CFileTypeTree(KRawScanMgr& types) : m_Types(types)
{
    for (const GroupDef& def : kGroups)
        m_Groups.push_back(Group{VlmString(def.name), Upper(def.extensions), kUnchecked, {}});
    const std::string defaults = Upper(kDefaultChecked);
    for (int t = 0; t < m_Types.GetTypeCount(); ++t)
    {
        tagRawTypeEntry entry;
        if (!m_Types.GetTypeEntry(t, &entry)) continue;
        const std::string extension = Upper(entry.strExtension);
        int group = static_cast<int>(m_Groups.size()) - 1;
        for (size_t g = 0; g < m_Groups.size(); ++g)
        {
            const std::string& list = m_Groups[g].strExtensions;
            if (list.empty() || ListNames(list, extension))
            {
                group = static_cast<int>(g);
                break;
            }
        }
        Item item;
        item.strText = entry.strDescription + "(*." + Lower(entry.strExtension) + ")";
        item.strExtension = extension;
        item.nTypeIndex = t;
        item.nGroup = group;
        m_Groups[static_cast<size_t>(group)].Types.push_back(static_cast<int>(m_Items.size()));
        m_Items.push_back(item);
    }
    for (size_t i = 0; i < m_Items.size(); ++i)
    {
        const std::string& ext = m_Items[i].strExtension;
        if (ListNames(defaults, ext))
            ClickItem(static_cast<int>(i));
        else
            m_Types.SetEnabled(m_Items[i].nTypeIndex, 0);
    }
}

void CFileTypeTree::SetItem(int item, uint8_t state)
{
    Item& it = m_Items[static_cast<size_t>(item)];
    it.byState = state;
    m_Types.SetEnabled(it.nTypeIndex, state > 0 ? 1 : 0);
}

void CFileTypeTree::UpdateGroup(int group)
{
    Group& g = m_Groups[static_cast<size_t>(group)];
    size_t checked = 0;
    for (int item : g.Types) checked += m_Items[static_cast<size_t>(item)].byState == kChecked ? 1 : 0;
    if (checked == 0)
        g.byState = kUnchecked;
    else
        g.byState = checked == g.Types.size() ? kChecked : kPartly;
}

void CFileTypeTree::ClickGroup(int group)
{
    if (group < 0 || static_cast<size_t>(group) >= m_Groups.size()) return;
    Group& g = m_Groups[static_cast<size_t>(group)];
    g.byState = g.byState == kChecked ? kUnchecked : kChecked;
    for (int item : g.Types) SetItem(item, g.byState);
}

void CFileTypeTree::ClickItem(int item)
{
    if (item < 0 || static_cast<size_t>(item) >= m_Items.size()) return;
    SetItem(item, m_Items[static_cast<size_t>(item)].byState == kChecked ? kUnchecked : kChecked);
    UpdateGroup(m_Items[static_cast<size_t>(item)].nGroup);
}

bool CFileTypeTree::AcceptChoice(IUserPort& port) const
{
    for (int t = 0; t < m_Types.GetTypeCount(); ++t)
    {
        tagRawTypeEntry entry;
        if (m_Types.GetTypeEntry(t, &entry) && entry.dwEnabled) return true;
    }
    port.ShowInformation(VlmString(IDS_CHOOSE_FILE_TYPES));
    return false;
}
