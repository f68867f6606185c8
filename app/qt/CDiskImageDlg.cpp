#include "CDiskImageDlg.h"

#include <utility>

#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

#include "GuiDialogs.h"
#include "GuiTexts.h"
#include "base/FormatSize.h"
#include "core/CGlobalParamTable.h"
#include "core/DeviceList.h"
#include "core/SourceGuard.h"
#include "device/IDeviceIO.h"
#include "volume/KVolumeManager.h"

using GuiDialogs::EBox;

namespace {

// The display follows the copy this often; the worker never waits for it.
constexpr int kDisplayMs = 250;

QString Size(uint64_t bytes) { return QString::fromStdString(FormatSize(static_cast<int64_t>(bytes))); }

} // namespace

CDiskImageDlg::CDiskImageDlg(CGlobalParamTable& session, QWidget* parent) : QDialog(parent), m_Session(session)
{
    setWindowTitle(QString::fromUtf8(GuiText::kImagingTitle));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QString::fromUtf8(GuiText::kImagingIntro), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* grid = new QGridLayout;
    m_pSource = new QComboBox(this);
    // Devices and the volumes on them, as the Advanced Recovery list shows them.
    for (const tagDeviceRow& row : CDeviceList::Rows(session.VolumeManager(), EModule::Advanced))
    {
        const QString text = QStringLiteral("%1%2  (%3)")
                                 .arg(row.bIndented ? QStringLiteral("    ") : QString(),
                                      QString::fromStdString(row.strDevice), QString::fromStdString(row.strCapacity));
        m_pSource->addItem(text, row.nVolume);
    }
    m_pSource->setCurrentIndex(-1);
    m_pTarget = new QLineEdit(this);
    m_pTarget->setMinimumWidth(380);
    m_pMap = new QLineEdit(this);
    auto* browseTarget = new QPushButton(QString::fromUtf8(GuiText::kBrowse), this);
    auto* browseMap = new QPushButton(QString::fromUtf8(GuiText::kBrowse), this);
    m_pRetries = new QSpinBox(this);
    m_pRetries->setRange(0, 20);
    m_pRetries->setValue(1);
    int r = 0;
    grid->addWidget(new QLabel(QString::fromUtf8(GuiText::kImagingSource), this), r, 0);
    grid->addWidget(m_pSource, r++, 1, 1, 2);
    grid->addWidget(new QLabel(QString::fromUtf8(GuiText::kImagingTarget), this), r, 0);
    grid->addWidget(m_pTarget, r, 1);
    grid->addWidget(browseTarget, r++, 2);
    grid->addWidget(new QLabel(QString::fromUtf8(GuiText::kMapFile), this), r, 0);
    grid->addWidget(m_pMap, r, 1);
    grid->addWidget(browseMap, r++, 2);
    grid->addWidget(new QLabel(QString::fromUtf8(GuiText::kImagingRetries), this), r, 0);
    grid->addWidget(m_pRetries, r++, 1, Qt::AlignLeft);
    layout->addLayout(grid);

    m_pBar = new QProgressBar(this);
    m_pBar->setRange(0, 1000);
    m_pBar->setValue(0);
    layout->addWidget(m_pBar);
    auto* figures = new QGridLayout;
    m_pRescued = new QLabel(this);
    m_pBad = new QLabel(this);
    m_pRate = new QLabel(this);
    m_pRemaining = new QLabel(this);
    m_pRemaining->setStyleSheet(QStringLiteral("color: rgb(0,0,255);"));
    const std::pair<const char*, QLabel*> rows[] = {{GuiText::kImagingRescued, m_pRescued},
                                                    {GuiText::kImagingBad, m_pBad},
                                                    {GuiText::kImagingRate, m_pRate},
                                                    {GuiText::kImagingRemaining, m_pRemaining}};
    r = 0;
    for (const auto& [text, label] : rows)
    {
        figures->addWidget(new QLabel(QString::fromUtf8(text), this), r / 2, (r % 2) * 2);
        figures->addWidget(label, r / 2, (r % 2) * 2 + 1);
        ++r;
    }
    figures->setColumnStretch(1, 1);
    figures->setColumnStretch(3, 1);
    layout->addLayout(figures);
    m_pResult = new QLabel(this);
    m_pResult->setWordWrap(true);
    layout->addWidget(m_pResult);

    auto* buttons = new QHBoxLayout;
    m_pStart = new QPushButton(QString::fromUtf8(GuiText::kImagingStart), this);
    m_pStop = new QPushButton(QString::fromUtf8(GuiText::kImagingStop), this);
    m_pClose = new QPushButton(QString::fromUtf8(GuiText::kClose), this);
    m_pStart->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(m_pStart);
    buttons->addWidget(m_pStop);
    buttons->addWidget(m_pClose);
    layout->addLayout(buttons);
    SetRunning(false);

    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(kDisplayMs);
    connect(m_pTimer, &QTimer::timeout, this, &CDiskImageDlg::ShowStatus);
    connect(m_pStart, &QPushButton::clicked, this, &CDiskImageDlg::Start);
    connect(m_pStop, &QPushButton::clicked, this, &CDiskImageDlg::Stop);
    connect(m_pClose, &QPushButton::clicked, this, &CDiskImageDlg::reject);
    connect(browseTarget, &QPushButton::clicked, this, [this] {
        const QString path = GuiDialogs::ChooseSaveFile(this, QString::fromUtf8(GuiText::kImagingTitle),
                                                        QString::fromUtf8(GuiText::kImagingFilter),
                                                        QStringLiteral("disk.img"), QStringLiteral("img"));
        if (path.isEmpty()) return;
        m_pTarget->setText(path);
        // The map goes beside the image unless the user named one.
        if (m_pMap->text().trimmed().isEmpty()) m_pMap->setText(path + QStringLiteral(".map"));
    });
    connect(browseMap, &QPushButton::clicked, this, [this] {
        const QString path = GuiDialogs::ChooseSaveFile(this, QString::fromUtf8(GuiText::kMapFile).remove(':'),
                                                        QString::fromUtf8(GuiText::kMapFilter),
                                                        QStringLiteral("disk.map"), QStringLiteral("map"));
        if (!path.isEmpty()) m_pMap->setText(path);
    });
}

CDiskImageDlg::~CDiskImageDlg()
{
    m_bStop = true;
    if (m_Worker.joinable()) m_Worker.join();
}

bool CDiskImageDlg::SelectVolume(int volume)
{
    const int row = m_pSource->findData(volume);
    m_pSource->setCurrentIndex(row);
    return row >= 0;
}

void CDiskImageDlg::SetRunning(bool running)
{
    m_pStart->setEnabled(!running);
    m_pStop->setEnabled(running);
    m_pSource->setEnabled(!running);
    m_pTarget->setEnabled(!running);
    m_pMap->setEnabled(!running);
    m_pRetries->setEnabled(!running);
}

bool CDiskImageDlg::Start()
{
    if (Running()) return false;
    const int volume = m_pSource->currentIndex() >= 0 ? m_pSource->currentData().toInt() : -1;
    IVolumeIO* io = volume >= 0 ? m_Session.VolumeManager().GetVolumeIO(static_cast<size_t>(volume)) : nullptr;
    if (!io)
    {
        GuiDialogs::Box(this, EBox::Information, QString::fromUtf8(GuiText::kImagingNoSource));
        return false;
    }
    tagImagingJob job;
    job.strTarget = m_pTarget->text().trimmed().toStdString();
    job.strMap = m_pMap->text().trimmed().toStdString();
    job.nRetryPasses = static_cast<uint32_t>(m_pRetries->value());
    job.strCommandLine = "vellumar: Create disk image of " + m_pSource->currentText().trimmed().toStdString();
    if (job.strTarget.empty()) return false;
    if (job.strMap.empty() &&
        GuiDialogs::Box(this, EBox::YesNo, QString::fromUtf8(GuiText::kImagingNoMap)) != QMessageBox::Yes)
        return false;
    m_pDevice = VolumeAsDevice(*io);
    m_pImaging = std::make_unique<CDiskImaging>(*m_pDevice, CSourceGuard::VolumeSources(m_Session, volume), job);
    if (!m_pImaging->Prepare())
    {
        GuiDialogs::Box(this, EBox::Error, QString::fromStdString(m_pImaging->Error()));
        m_pImaging.reset();
        return false;
    }
    m_bStop = false;
    m_bRan = false;
    m_pResult->clear();
    {
        const std::lock_guard<std::mutex> lock(m_Lock);
        m_Status = m_pImaging->Status();
    }
    m_nStartMs = QDateTime::currentMSecsSinceEpoch();
    SetRunning(true);
    ShowStatus();
    m_pTimer->start();
    m_Worker = std::thread([this] {
        m_Result = m_pImaging->Run([this](const tagImagerStatus& s) {
            {
                const std::lock_guard<std::mutex> lock(m_Lock);
                m_Status = s;
            }
            return !m_bStop.load();
        });
        QMetaObject::invokeMethod(this, &CDiskImageDlg::OnFinished, Qt::QueuedConnection);
    });
    return true;
}

void CDiskImageDlg::Stop() { m_bStop = true; }

void CDiskImageDlg::OnFinished()
{
    if (!m_pImaging) return; // finished already (the dialog was closed while the copy ran)
    if (m_Worker.joinable()) m_Worker.join();
    m_pTimer->stop();
    {
        const std::lock_guard<std::mutex> lock(m_Lock);
        m_Status = m_pImaging->Status();
    }
    ShowStatus();
    m_bRan = true;
    m_strError = QString::fromStdString(m_pImaging->Error());
    m_pResult->setText(ResultText());
    if (m_Result == EImagingResult::Complete) m_pBar->setValue(m_pBar->maximum());
    SetRunning(false);
    m_pImaging.reset();
    m_pDevice.reset();
    emit Finished();
}

QString CDiskImageDlg::ResultText() const
{
    if (!m_bRan) return QString();
    const tagImagerStatus s = [this] {
        const std::lock_guard<std::mutex> lock(m_Lock);
        return m_Status;
    }();
    const QString target = m_pTarget->text().trimmed();
    switch (m_Result)
    {
    case EImagingResult::Complete:
        return QString::fromUtf8(GuiText::kImagingDone).arg(target, m_pSource->currentText().trimmed());
    case EImagingResult::Partial:
        return QString::fromUtf8(GuiText::kImagingPartial).arg(target, Size(s.BadBytes)).arg(s.BadAreas);
    case EImagingResult::Cancelled:
        return QString::fromUtf8(m_pMap->text().trimmed().isEmpty() ? GuiText::kImagingStoppedNoMap
                                                                    : GuiText::kImagingStopped);
    case EImagingResult::Failed: return m_strError;
    }
    return QString();
}

void CDiskImageDlg::ShowStatus()
{
    tagImagerStatus s;
    {
        const std::lock_guard<std::mutex> lock(m_Lock);
        s = m_Status;
    }
    const uint64_t total = s.RescuedBytes + s.BadBytes + s.PendingBytes;
    m_pBar->setValue(total ? static_cast<int>((s.RescuedBytes + s.BadBytes) * 1000 / total) : 0);
    m_pRescued->setText(Size(s.RescuedBytes));
    m_pBad->setText(QStringLiteral("%1 (%2)").arg(s.BadAreas).arg(Size(s.BadBytes)));
    const double seconds = static_cast<double>(QDateTime::currentMSecsSinceEpoch() - m_nStartMs) / 1000.0;
    const double rate = CDiskImaging::Rate(s, seconds);
    m_pRate->setText(rate > 0 ? Size(static_cast<uint64_t>(rate)) + QStringLiteral("/s") : QString());
    const int64_t left = CDiskImaging::SecondsLeft(s, rate);
    m_pRemaining->setText(left >= 0 && Running() ? QString::fromStdString(CDiskImaging::RemainingText(left))
                                                 : QString());
}

void CDiskImageDlg::reject()
{
    // Closing while the copy runs stops it first: the image and the map are written, and a
    // later start with the same map goes on from there.
    if (Running())
    {
        Stop();
        m_Worker.join();
        OnFinished();
    }
    QDialog::reject();
}
