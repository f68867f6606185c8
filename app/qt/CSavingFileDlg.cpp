#include "CSavingFileDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "core/CGlobalParamTable.h"
#include "core/VlmStrings.h"

namespace {

constexpr int kFileSteps = 1000;

} // namespace

CSavingFileDlg::CSavingFileDlg(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString::fromUtf8(GuiText::kSavingTitle));
    setWindowModality(Qt::ApplicationModal);
    setMinimumWidth(500);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_pSelected = new QLabel(QStringLiteral("0"), this);
    m_pSaved = new QLabel(QStringLiteral("0"), this);
    m_pCurrent = new QLabel(this);
    m_pCurrent->setTextFormat(Qt::PlainText);
    m_pCurrent->setMinimumWidth(340);
    form->addRow(QString::fromUtf8(GuiText::kSelectedFilesLabel), m_pSelected);
    form->addRow(QString::fromUtf8(GuiText::kRecoveredFilesLabel), m_pSaved);
    form->addRow(QString::fromUtf8(GuiText::kCurrentFileLabel), m_pCurrent);
    layout->addLayout(form);
    m_pTotal = new QProgressBar(this);
    m_pFile = new QProgressBar(this);
    m_pFile->setRange(0, kFileSteps);
    layout->addWidget(m_pTotal);
    layout->addWidget(m_pFile);
    m_pCancel = new QPushButton(QString::fromUtf8(GuiText::kCancel), this);
    layout->addWidget(m_pCancel, 0, Qt::AlignRight);
    connect(m_pCancel, &QPushButton::clicked, this, &CSavingFileDlg::AskCancel);
}

tagSaveOutcome CSavingFileDlg::Run(CGlobalParamTable& session, const QString& target)
{
    m_bCanceled = false;
    show();
    QCoreApplication::processEvents();
    m_LastPump.start();
    m_bRunning = true;
    const tagSaveOutcome outcome = CSaveWalker::SaveSelection(session, target.toStdString(), *this);
    m_bRunning = false;
    hide();
    return outcome;
}

QString CSavingFileDlg::CurrentFileText() const { return m_pCurrent->text(); }

void CSavingFileDlg::Pump(bool force)
{
    // One copy reports often; the window is refreshed at most every 300 ms.
    if (!force && m_LastPump.isValid() && m_LastPump.elapsed() < kPumpIntervalMs) return;
    QCoreApplication::processEvents();
    m_LastPump.restart();
}

void CSavingFileDlg::OnCurrentFile(const std::string& path)
{
    m_pCurrent->setText(QString::fromStdString(path));
    m_pFile->setValue(0);
    Pump(false);
}

void CSavingFileDlg::OnCounts(uint32_t saved, uint32_t selected)
{
    m_pSelected->setText(QString::number(selected));
    m_pSaved->setText(QString::number(saved));
    m_pTotal->setRange(0, static_cast<int>(std::min<uint32_t>(selected, INT32_MAX)));
    m_pTotal->setValue(static_cast<int>(std::min(saved, selected)));
}

void CSavingFileDlg::OnFileProgress(int64_t position, int64_t maximum)
{
    if (maximum > 0)
        m_pFile->setValue(static_cast<int>(std::clamp<int64_t>(position, 0, maximum) * kFileSteps / maximum));
    Pump(false);
}

bool CSavingFileDlg::IsCanceled() { return m_bCanceled || !isVisible(); }

void CSavingFileDlg::AskCancel()
{
    if (m_bCanceled) return;
    if (GuiDialogs::Box(this, GuiDialogs::EBox::YesNo, QString::fromUtf8(VlmString(IDS_CANCEL_SAVING))) ==
        QMessageBox::Yes)
    {
        m_bCanceled = true;
        hide();
    }
}

void CSavingFileDlg::closeEvent(QCloseEvent* event)
{
    if (m_bRunning)
    {
        event->ignore();
        AskCancel();
        return;
    }
    event->accept();
}

void CSavingFileDlg::reject()
{
    if (m_bRunning)
        AskCancel();
    else
        QDialog::reject();
}
