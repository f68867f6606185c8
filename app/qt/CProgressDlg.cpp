#include "CProgressDlg.h"

#include <algorithm>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "GuiTexts.h"

namespace {

// With the bar hidden every report would handle events; a moving block needs far fewer.
constexpr qint64 kBlockPumpMs = 40;

} // namespace

CProgressDlg::CProgressDlg(QWidget* parent) : QDialog(parent)
{
    setWindowModality(Qt::ApplicationModal);
    setMinimumWidth(420);
    auto* layout = new QVBoxLayout(this);
    m_pText = new QLabel(this);
    m_pBar = new QProgressBar(this);
    m_pBar->setRange(0, 100);
    m_pBar->setTextVisible(false);
    m_pBlock = new CMovingBlock(this);
    m_pCancel = new QPushButton(QString::fromUtf8(GuiText::kCancel), this);
    layout->addWidget(m_pText);
    layout->addWidget(m_pBar);
    layout->addWidget(m_pBlock);
    layout->addWidget(m_pCancel, 0, Qt::AlignRight);
    connect(m_pCancel, &QPushButton::clicked, this, &CProgressDlg::Cancel);
}

CProgressDlg::~CProgressDlg() = default;

void CProgressDlg::Run(const QString& title, bool movingBlock, const std::function<void(IProgress_Client*)>& work)
{
    m_bCanceled = false;
    m_nLastPercent = 0;
    setWindowTitle(title);
    m_pText->setText(title);
    m_pBar->setVisible(!movingBlock);
    m_pBlock->setVisible(movingBlock);
    m_pBar->setValue(0);
    show();
    if (movingBlock) m_pBlock->Start();
    // The window must be on screen before the work blocks the thread.
    QCoreApplication::processEvents();
    m_LastPump.start();
    m_bRunning = true;
    if (work) work(this);
    m_bRunning = false;
    m_pBlock->Stop();
    hide();
}

int CProgressDlg::BarValue() const { return m_pBar->value(); }

int CProgressDlg::SetMaxValue(int64_t max)
{
    m_s64Max = max;
    m_nLastPercent = 0;
    m_pBar->setRange(0, 100);
    return 0;
}

int CProgressDlg::SetValue(int64_t value)
{
    if (!m_pBar->isVisible() || m_s64Max <= 0)
    {
        if (m_LastPump.elapsed() >= kBlockPumpMs) Pump();
        return 0;
    }
    // The bar shows whole percentages; the window is refreshed only when that number changes.
    const auto percent = static_cast<int>(std::clamp<int64_t>(value, 0, m_s64Max) * 100 / m_s64Max);
    if (percent != m_nLastPercent)
    {
        m_nLastPercent = percent;
        m_pBar->setValue(percent);
        Pump();
    }
    return 0;
}

int CProgressDlg::BeginProgress()
{
    m_pBar->setValue(0);
    return 0;
}

int CProgressDlg::EndProgress()
{
    m_pBar->setValue(m_pBar->maximum());
    return 0;
}

int CProgressDlg::IsCanceled() { return (m_bCanceled || !isVisible()) ? 1 : 0; }

void CProgressDlg::Pump()
{
    QCoreApplication::processEvents();
    m_LastPump.restart();
}

void CProgressDlg::Cancel()
{
    m_bCanceled = true;
    hide();
}

void CProgressDlg::closeEvent(QCloseEvent* event)
{
    if (m_bRunning) Cancel();
    event->accept();
}

void CProgressDlg::reject()
{
    // Escape cancels the running work like the button.
    if (m_bRunning)
        Cancel();
    else
        QDialog::reject();
}

CMovingBlock::CMovingBlock(QWidget* parent) : QWidget(parent) { setMinimumHeight(kStripHeight + 8); }

void CMovingBlock::Start()
{
    m_nPosition = 0;
    if (!m_nTimer) m_nTimer = startTimer(100);
}

void CMovingBlock::Stop()
{
    if (m_nTimer) killTimer(m_nTimer);
    m_nTimer = 0;
}

void CMovingBlock::timerEvent(QTimerEvent*)
{
    ++m_nPosition;
    if (m_nPosition >= CellCount(width() - 2 * kMargin)) m_nPosition = 0;
    update();
}

void CMovingBlock::paintEvent(QPaintEvent*)
{
    // Composed off-screen and copied in one step, so the strip never flickers.
    QPixmap canvas(size());
    canvas.fill(palette().window().color());
    QPainter painter(&canvas);
    const int stripWidth = width() - 2 * kMargin;
    const QRect strip(kMargin, (height() - kStripHeight) / 2, stripWidth, kStripHeight);
    painter.fillRect(strip, Qt::white);
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(strip.adjusted(0, 0, -1, -1));
    const int cells = CellCount(stripWidth);
    if (cells > 0)
    {
        const int left = strip.left() + (stripWidth - cells * kCell) / 2;
        const int cell = m_nPosition % cells;
        painter.fillRect(QRect(left + cell * kCell, strip.top() + 5, kCell, kStripHeight - 10), QColor(0, 200, 0));
    }
    painter.end();
    QPainter(this).drawPixmap(0, 0, canvas);
}
