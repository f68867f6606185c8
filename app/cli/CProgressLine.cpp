#include "CProgressLine.h"

#include "CTerminalPort.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

// A terminal line is redrawn at most five times a second; a log gets a line every five seconds.
constexpr uint64_t kTerminalIntervalMs = 200;
constexpr uint64_t kPlainIntervalMs = 5000;
constexpr int kBarWidth = 24;

uint64_t NowMs()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

} // namespace

CProgressLine::CProgressLine(std::string title)
    : m_strTitle(std::move(title)), m_bTerminal(::isatty(fileno(CTerminalPort::Err())) == 1), m_u64LastMs(NowMs())
{}

CProgressLine::~CProgressLine() { Clear(); }

std::string CProgressLine::Bar(double fraction, int width)
{
    if (fraction < 0) fraction = 0;
    if (fraction > 1) fraction = 1;
    const int full = static_cast<int>(fraction * width + 0.5);
    return "[" + std::string(static_cast<size_t>(full), '#') + std::string(static_cast<size_t>(width - full), '.') +
        "]";
}

size_t CProgressLine::TextColumns() const
{
    size_t width = 80;
    winsize size{};
    if (m_bTerminal && ::ioctl(fileno(CTerminalPort::Err()), TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        width = size.ws_col;
    // The title, the bar and their blanks; one column stays free so that nothing wraps.
    const size_t used = m_strTitle.size() + kBarWidth + 2 + 2 + 1;
    return width > used ? width - used : 0;
}

std::string CProgressLine::Fit(const std::vector<std::pair<int, std::string>>& pieces, size_t columns)
{
    int worst = 0;
    for (const auto& piece : pieces) worst = std::max(worst, piece.first);
    for (int keep = worst; keep >= 0; --keep)
    {
        std::string line;
        for (const auto& [rank, text] : pieces)
        {
            if (rank > keep || text.empty()) continue;
            line += (line.empty() ? "" : " ") + text;
        }
        if (line.size() <= columns || keep == 0) return line;
    }
    return {};
}

void CProgressLine::Update(double fraction, const std::string& text, bool force)
{
    m_dFraction = fraction;
    m_strText = text;
    m_bDirty = true;
    const uint64_t now = NowMs();
    const uint64_t interval = m_bTerminal ? kTerminalIntervalMs : kPlainIntervalMs;
    if (!force && now - m_u64LastMs < interval) return;
    m_u64LastMs = now;
    Draw();
}

void CProgressLine::Draw()
{
    std::string line = m_strTitle;
    if (m_dFraction >= 0) line += " " + Bar(m_dFraction, kBarWidth);
    if (!m_strText.empty()) line += " " + m_strText;
    if (m_bTerminal)
    {
        // A line longer than the terminal would wrap, and the redraw would leave its start
        // behind: cut it to the width.
        winsize size{};
        if (::ioctl(fileno(CTerminalPort::Err()), TIOCGWINSZ, &size) == 0 && size.ws_col > 1 &&
            line.size() >= size.ws_col)
            line.resize(size.ws_col - 1u);
        std::fprintf(CTerminalPort::Err(), "\r\033[K%s", line.c_str());
    }
    else
        std::fprintf(CTerminalPort::Err(), "%s\n", line.c_str());
    std::fflush(CTerminalPort::Err());
    m_bDrawn = true;
    m_bDirty = false;
}

void CProgressLine::Clear()
{
    if (m_bTerminal && m_bDrawn)
    {
        std::fprintf(CTerminalPort::Err(), "\r\033[K");
        std::fflush(CTerminalPort::Err());
        m_bDrawn = false;
    }
}

void CProgressLine::Finish()
{
    if (m_bDirty || (m_bTerminal && m_bDrawn)) Draw();
    if (m_bTerminal && m_bDrawn) std::fprintf(CTerminalPort::Err(), "\n");
    std::fflush(CTerminalPort::Err());
    m_bDrawn = false;
}
