#include "CScanningDeviceDlg.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "GuiTexts.h"
#include "core/CScanDriver.h"
#include "core/VlmStrings.h"

namespace {

// The bar runs over 0..kBarSteps: a volume's sector count does not fit a bar's int range.
constexpr int kBarSteps = 10000;

} // namespace

CScanningDeviceDlg::CScanningDeviceDlg(EScanWindow kind, QWidget* parent) : QDialog(parent), m_Kind(kind)
{
    setWindowTitle(QString::fromUtf8(GuiText::kScanningTitle));
    setWindowModality(Qt::ApplicationModal);
    setMinimumWidth(460);
    auto* layout = new QVBoxLayout(this);
    m_pBar = new QProgressBar(this);
    m_pBar->setRange(0, kBarSteps);
    m_pBar->setTextVisible(false);
    layout->addWidget(m_pBar);
    auto* line = new QHBoxLayout;
    m_pProgress = new QLabel(this);
    m_pPosition = new QLabel(this);
    line->addWidget(m_pProgress);
    line->addStretch();
    line->addWidget(m_pPosition);
    layout->addLayout(line);

    auto* grid = new QGridLayout;
    const QString readError = QString::fromUtf8(VlmString(IDS_READING_ERROR));
    const QString remaining = QString::fromUtf8(VlmString(IDS_REMAINING_TIME));
    int row = 0;
    for (const auto& [label, value] : CScanDriver::CounterRows(kind, tagScanDisplay{}))
    {
        auto* name = new QLabel(QString::fromStdString(label), this);
        auto* text = new QLabel(QString::fromStdString(value), this);
        text->setMinimumWidth(120);
        if (name->text() == readError)
            text->setStyleSheet("color: rgb(255,0,0);");
        else if (name->text() == remaining)
            text->setStyleSheet("color: rgb(0,0,255);");
        grid->addWidget(name, row, 0);
        grid->addWidget(text, row, 1);
        m_Counters.emplace_back(name, text);
        ++row;
    }
    layout->addLayout(grid);
    auto* note = new QLabel(QString::fromUtf8(VlmString(IDS_SCAN_NOTE)), this);
    note->setWordWrap(true);
    note->setStyleSheet("color: rgb(255,0,0);");
    layout->addWidget(note);
    m_pCancel = new QPushButton(QString::fromUtf8(GuiText::kCancel), this);
    layout->addWidget(m_pCancel, 0, Qt::AlignRight);
    connect(m_pCancel, &QPushButton::clicked, this, [this] { m_bCancelRequest = true; });
}

void CScanningDeviceDlg::Display(const tagScanDisplay& display)
{
    if (display.s64Total > 0)
    {
        const double part = static_cast<double>(display.s64Position) / static_cast<double>(display.s64Total);
        m_pBar->setValue(static_cast<int>(part * kBarSteps));
    }
    m_pProgress->setText(QString::fromStdString(display.strProgress));
    m_pPosition->setText(QString::fromStdString(display.strPosition));
    const auto rows = CScanDriver::CounterRows(m_Kind, display);
    for (size_t i = 0; i < rows.size() && i < m_Counters.size(); ++i)
        m_Counters[i].second->setText(QString::fromStdString(rows[i].second));
}

bool CScanningDeviceDlg::TakeCancelRequest()
{
    const bool request = m_bCancelRequest;
    m_bCancelRequest = false;
    return request;
}

QString CScanningDeviceDlg::CounterText(const QString& label) const
{
    for (const auto& [name, value] : m_Counters)
    {
        if (name->text() == label) return value->text();
    }
    return QString();
}

void CScanningDeviceDlg::closeEvent(QCloseEvent* event)
{
    // Closing the window is a Cancel: the core decides after asking.
    m_bCancelRequest = true;
    event->ignore();
}

void CScanningDeviceDlg::reject() { m_bCancelRequest = true; }
