#pragma once
// The deep scan's choice of file types as a two-level model: groups (documents, archives,
// pictures, ...) holding the types of the global type list. Each type lands in the first group
// whose extension list names it, or in "Other files". Checking follows the usual tri-state
// rule: a group is checked when all its types are, unchecked when none are, else partly checked.
// Every change goes straight to the enabled flags of the type list, which the next deep scan
// uses.
#include <cstdint>
#include <string>
#include <vector>

class IUserPort;
class KRawScanMgr;

class CFileTypeTree
{
public:
    static constexpr uint8_t kUnchecked = 0;
    static constexpr uint8_t kPartly = 1;
    static constexpr uint8_t kChecked = 2;

    struct Group
    {
        std::string strName;       // "Document", ...
        std::string strExtensions; // upper case, comma separated; empty for "Other files"
        uint8_t byState = kUnchecked;
        std::vector<int> Types; // indices into Items()
    };
    struct Item
    {
        std::string strText;      // "description(*.ext)"
        std::string strExtension; // upper case
        int nTypeIndex = -1;      // index in the type list
        int nGroup = -1;
        uint8_t byState = kUnchecked;
    };

    /// Fills the model from the type list and applies the default choice (every type the
    /// program ships checked; types of other plug-ins disabled).
    explicit CFileTypeTree(KRawScanMgr& types);

    const std::vector<Group>& Groups() const { return m_Groups; }
    const std::vector<Item>& Items() const { return m_Items; }

    /// A click on a group's box: checked becomes unchecked, anything else checked, and every
    /// type of the group follows.
    void ClickGroup(int group);
    /// A click on a type's box: toggles it; its group's state follows.
    void ClickItem(int item);

    /// The OK of the choice: false, after telling the user, when no type is enabled.
    bool AcceptChoice(IUserPort& port) const;

private:
    void SetItem(int item, uint8_t state);
    void UpdateGroup(int group);

    KRawScanMgr& m_Types;
    std::vector<Group> m_Groups;
    std::vector<Item> m_Items;
};
