#pragma once
// "Advanced filter": narrows the file list by name patterns, size and date, and (outside
// Undelete Recovery) by whether files are deleted or present. The dialog only edits the
// settings; the page applies them.
#include <QDialog>

#include "core/FileFilter.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QRadioButton;
class QSpinBox;

class CAdvancedFilterDlg final : public QDialog
{
    Q_OBJECT
public:
    CAdvancedFilterDlg(const tagFilterSettings& settings, EModule module, QWidget* parent);

    /// The settings as left by OK, normalised for the module.
    const tagFilterSettings& Settings() const { return m_Settings; }

    QCheckBox* ByNameBox() const { return m_pByName; }
    QComboBox* NameList() const { return m_pNames; }
    QCheckBox* BySizeBox() const { return m_pBySize; }
    QSpinBox* SizeFrom() const { return m_pFrom; }
    QSpinBox* SizeTo() const { return m_pTo; }
    QCheckBox* ByDateBox() const { return m_pByDate; }
    QDateEdit* DateFrom() const { return m_pDateFrom; }
    QDateEdit* DateTo() const { return m_pDateTo; }
    QCheckBox* ShowDeletedBox() const { return m_pShowDeleted; }
    QCheckBox* ShowNormalBox() const { return m_pShowNormal; }
    QRadioButton* UseFilterButton() const { return m_pUse; }
    QRadioButton* NoFilterButton() const { return m_pNoFilter; }

public slots:
    void accept() override;

private:
    tagFilterSettings m_Settings;
    EModule m_Module;
    QCheckBox* m_pByName = nullptr;
    QComboBox* m_pNames = nullptr;
    QCheckBox* m_pBySize = nullptr;
    QSpinBox* m_pFrom = nullptr;
    QSpinBox* m_pTo = nullptr;
    QCheckBox* m_pByDate = nullptr;
    QComboBox* m_pDateKind = nullptr;
    QDateEdit* m_pDateFrom = nullptr;
    QDateEdit* m_pDateTo = nullptr;
    QCheckBox* m_pShowDeleted = nullptr;
    QCheckBox* m_pShowNormal = nullptr;
    QRadioButton* m_pUse = nullptr;
    QRadioButton* m_pNoFilter = nullptr;
};
