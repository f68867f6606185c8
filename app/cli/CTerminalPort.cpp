#include "CTerminalPort.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "CProgressLine.h"
#include "TerminalText.h"
#include "core/CFileTypeTree.h"
#include "core/CScanDriver.h"
#include "core/TextFormat.h"
#include "core/VlmStrings.h"

namespace {

volatile sig_atomic_t g_nInterrupts = 0;
FILE* g_pUserErr = nullptr;
int g_nTaken = 0;

void OnInterrupt(int)
{
    g_nInterrupts = g_nInterrupts + 1;
    // A third Ctrl-C while nothing polls: give up at once. Nothing is ever written to the
    // source, so stopping here loses only the copy in progress.
    if (g_nInterrupts >= 3) _exit(130);
}

std::string OneLine(const std::string& text)
{
    std::string line;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '\n')
        {
            line += text[i];
            continue;
        }
        while (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        if (!line.empty() && line.back() != ' ') line += ' ';
    }
    return TerminalSafe(line);
}

std::string Lower(std::string text)
{
    for (char& c : text)
    {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// Progress of one engine operation on a CProgressLine.
class CLineClient final : public IProgress_Client
{
public:
    CLineClient(CProgressLine& line, bool movingBlock)
        : m_Line(line), m_bMoving(movingBlock), m_nInterruptsAtStart(g_nInterrupts)
    {}
    int SetMaxValue(int64_t max) override
    {
        m_s64Max = max;
        return 0;
    }
    int SetValue(int64_t value) override
    {
        if (!m_bMoving && m_s64Max > 0)
        {
            const double fraction = static_cast<double>(value) / static_cast<double>(m_s64Max);
            m_Line.Update(fraction, FormatText("%3d%%", static_cast<int>(fraction * 100)));
        }
        else
            m_Line.Update(-1, "");
        return 0;
    }
    int BeginProgress() override { return SetValue(0); }
    // Only a Ctrl-C pressed during this operation cancels it: after "keep the collected data"
    // the end of the scan must still run.
    int IsCanceled() override { return g_nInterrupts > m_nInterruptsAtStart ? 1 : 0; }

private:
    CProgressLine& m_Line;
    bool m_bMoving;
    int m_nInterruptsAtStart;
    int64_t m_s64Max = 0;
};

} // namespace

CTerminalPort::CTerminalPort(EForcedAnswer forced, bool verbose) : m_Forced(forced), m_bVerbose(verbose) {}

CTerminalPort::~CTerminalPort() { delete m_pLine; }

void CTerminalPort::InstallInterruptHandler()
{
    struct sigaction action
    {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a question's read returns on Ctrl-C
    sigaction(SIGINT, &action, nullptr);
}

bool CTerminalPort::Interrupted() { return g_nInterrupts > 0; }

FILE* CTerminalPort::Err() { return g_pUserErr ? g_pUserErr : stderr; }

void CTerminalPort::HideTrace()
{
    const int saved = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved < 0 || null < 0) return;
    ::fcntl(saved, F_SETFD, FD_CLOEXEC);
    g_pUserErr = ::fdopen(saved, "w");
    if (!g_pUserErr) return;
    ::setvbuf(g_pUserErr, nullptr, _IOLBF, 0);
    ::dup2(null, STDERR_FILENO);
    ::close(null);
}

bool CTerminalPort::Interactive() { return ::isatty(STDIN_FILENO) == 1 && ::isatty(fileno(Err())) == 1; }

bool CTerminalPort::TakeInterrupt()
{
    if (g_nInterrupts > g_nTaken)
    {
        g_nTaken = g_nInterrupts;
        return true;
    }
    return false;
}

void CTerminalPort::FlushMessages(bool failed)
{
    for (const Message& m : m_Messages)
    {
        if (m.Kind == "info" && !failed && !m_bInfoToError)
            std::printf("%s\n", OneLine(m.Text).c_str());
        else
            std::fprintf(Err(), "vlm: %s\n", OneLine(m.Text).c_str());
    }
    std::fflush(stdout);
    std::fflush(Err());
    m_Messages.clear();
}

void CTerminalPort::PrintError(const std::string& text)
{
    if (m_pLine) m_pLine->Clear();
    std::fprintf(Err(), "vlm: %s\n", OneLine(text).c_str());
    std::fflush(Err());
}

char CTerminalPort::Prompt(const std::string& text, const std::string& choices)
{
    if (m_pLine) m_pLine->Clear();
    for (;;)
    {
        std::fprintf(Err(), "%s [%s] ", OneLine(text).c_str(), choices.c_str());
        std::fflush(Err());
        char buffer[64];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof(buffer) - 1);
        if (got <= 0)
        {
            std::fprintf(Err(), "\n");
            return 0; // end of input or interrupted: the caller takes the safe answer
        }
        const char c = static_cast<char>(buffer[0] | 0x20);
        if (choices.find(c) != std::string::npos) return c;
    }
}

bool CTerminalPort::Ask(const std::string& text, bool safeAnswer)
{
    if (m_Forced != EForcedAnswer::None) return m_Forced == EForcedAnswer::Yes;
    if (!Interactive()) return safeAnswer;
    const char c = Prompt(text, "y/n");
    return c == 0 ? safeAnswer : c == 'y';
}

bool CTerminalPort::AskYesNo(const std::string& text) { return Ask(text, false); }

EAnswer CTerminalPort::AskYesNoCancel(const std::string& text)
{
    // The only three-way question is whether to keep a scan's collected data: the safe answer
    // keeps it.
    if (m_Forced != EForcedAnswer::None) return m_Forced == EForcedAnswer::Yes ? EAnswer::Yes : EAnswer::No;
    if (!Interactive()) return EAnswer::Yes;
    const char c = Prompt(text, "y/n/c");
    if (c == 0) return EAnswer::Yes;
    if (c == 'c')
    {
        // Going on after all: forget the Ctrl-C so that the operations do not stop.
        g_nInterrupts = 0;
        g_nTaken = 0;
        return EAnswer::Cancel;
    }
    return c == 'y' ? EAnswer::Yes : EAnswer::No;
}

void CTerminalPort::RunProgress(const std::string& title, bool movingBlock,
                                const std::function<void(IProgress_Client*)>& work)
{
    CProgressLine line(title);
    CLineClient client(line, movingBlock);
    work(&client);
    line.Clear();
}

std::string CTerminalPort::CommandText(const std::string& text)
{
    static const std::pair<uint32_t, const char*> kCommandTexts[] = {
        {IDS_INTERNAL_ERROR, "Internal error! Please run the command again."},
        {IDS_OPEN_FAILED_FULL_SCAN, "Failed to open the volume. Please scan it with 'vlm scan VOLUME'."},
        {IDS_OPEN_FAILED_USE_ADVANCED, "Failed to open volume, please use 'vlm scan VOLUME' instead."},
        {IDS_OPEN_FAILED_RUN_ADVANCED, "Failed to open volume, please scan it with 'vlm scan VOLUME' instead."},
    };
    for (const auto& [id, replacement] : kCommandTexts)
    {
        if (text == VlmString(id)) return replacement;
    }
    return text;
}

void CTerminalPort::OpenScanWindow(EScanWindow)
{
    delete m_pLine;
    m_pLine = new CProgressLine(VlmString(IDS_SCANNING_DEVICE));
    m_u64ReadErrors = 0;
}

void CTerminalPort::UpdateScanWindow(EScanWindow kind, const tagScanDisplay& display)
{
    if (!m_pLine) return;
    // What matters most stays when the line is narrow: how far, how many files, read errors
    // and the time left; the position and the single counters go first.
    std::vector<std::pair<int, std::string>> pieces = {{0, display.strProgress}, {3, display.strPosition}};
    for (const auto& [label, value] : CScanDriver::CounterRows(kind, display))
    {
        if (value.empty()) continue;
        int rank = 2;
        if (label == VlmString(IDS_TOTAL_FILES) || label == VlmString(IDS_FILES_FOUND) ||
            label == VlmString(IDS_REMAINING_TIME))
            rank = 0;
        else if (label == VlmString(IDS_READING_ERROR))
            rank = display.u64ReadErrors > 0 ? 0 : 1;
        pieces.emplace_back(rank, label + " " + value);
    }
    const std::string text = CProgressLine::Fit(pieces, m_pLine->TextColumns());
    m_u64ReadErrors = display.u64ReadErrors;
    const double fraction =
        display.s64Total > 0 ? static_cast<double>(display.s64Position) / static_cast<double>(display.s64Total) : 0;
    m_pLine->Update(fraction, text);
}

void CTerminalPort::CloseScanWindow(EScanWindow)
{
    if (m_pLine) m_pLine->Finish();
    delete m_pLine;
    m_pLine = nullptr;
}

bool CTerminalPort::TakeScanCancelRequest() { return TakeInterrupt(); }

bool CTerminalPort::ChooseDeepScanTypes(CFileTypeTree& tree)
{
    if (!m_DeepScanTypes.empty())
    {
        // Start from nothing ticked, then tick what was named.
        for (size_t g = 0; g < tree.Groups().size(); ++g)
        {
            if (tree.Groups()[g].byState != CFileTypeTree::kUnchecked)
            {
                if (tree.Groups()[g].byState == CFileTypeTree::kPartly) tree.ClickGroup(static_cast<int>(g));
                tree.ClickGroup(static_cast<int>(g));
            }
        }
        for (const std::string& wanted : m_DeepScanTypes)
        {
            const std::string w = Lower(wanted);
            for (size_t g = 0; g < tree.Groups().size(); ++g)
            {
                if ((w == "all" || Lower(tree.Groups()[g].strName) == w) &&
                    tree.Groups()[g].byState != CFileTypeTree::kChecked)
                    tree.ClickGroup(static_cast<int>(g));
            }
            for (size_t i = 0; i < tree.Items().size(); ++i)
            {
                if (Lower(tree.Items()[i].strExtension) == w && tree.Items()[i].byState != CFileTypeTree::kChecked)
                    tree.ClickItem(static_cast<int>(i));
            }
        }
    }
    return tree.AcceptChoice(*this);
}

void CTerminalPort::OnCurrentFile(const std::string& path)
{
    m_strCurrent = path;
    if (!m_pLine) m_pLine = new CProgressLine("Saving");
    m_pLine->Update(m_dwSelected ? static_cast<double>(m_dwSaved) / m_dwSelected : 0,
                    FormatText("%u/%u %s", m_dwSaved, m_dwSelected, TerminalSafe(path).c_str()));
}

void CTerminalPort::OnFileSaved(const std::string& path)
{
    if (!m_bVerbose) return;
    if (m_pLine) m_pLine->Clear();
    std::printf("%s\n", TerminalSafe(path).c_str());
    std::fflush(stdout);
}

void CTerminalPort::OnCounts(uint32_t saved, uint32_t selected)
{
    m_dwSaved = saved;
    m_dwSelected = selected;
}

void CTerminalPort::OnFileProgress(int64_t position, int64_t maximum)
{
    if (!m_pLine || maximum <= 0) return;
    m_pLine->Update(m_dwSelected ? static_cast<double>(m_dwSaved) / m_dwSelected : 0,
                    FormatText("%u/%u %s %d%%", m_dwSaved, m_dwSelected, TerminalSafe(m_strCurrent).c_str(),
                               static_cast<int>(position * 100 / maximum)));
}

bool CTerminalPort::IsCanceled()
{
    if (m_bSaveCancelled) return true;
    if (!TakeInterrupt()) return false;
    // Without a terminal a Ctrl-C (or SIGINT) means stop.
    m_bSaveCancelled = Ask(VlmString(IDS_CANCEL_SAVING), true);
    if (!m_bSaveCancelled)
    {
        g_nInterrupts = 0;
        g_nTaken = 0;
    }
    return m_bSaveCancelled;
}

void CTerminalPort::EndSaving()
{
    if (m_pLine) m_pLine->Clear();
    delete m_pLine;
    m_pLine = nullptr;
}
