#pragma once
// The command line's user-interface port: messages become lines on standard error (or the
// result on standard output), questions are asked on the terminal or answered by --yes/--no
// or, without a terminal, with the safe answer; progress windows become a redrawn bar on a
// terminal and plain periodic lines otherwise. Ctrl-C plays the Cancel button.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/IUserPort.h"
#include "core/SaveWalker.h"

class CProgressLine;

enum class EForcedAnswer
{
    None, // ask on a terminal, else take the safe answer
    Yes,
    No,
};

class CTerminalPort final : public IUserPort, public ISaveObserver
{
public:
    struct Message
    {
        std::string Kind; // "info", "warning", "error"
        std::string Text;
    };

    CTerminalPort(EForcedAnswer forced, bool verbose);
    ~CTerminalPort() override;

    /// Ctrl-C sets a flag that the long operations poll; a third Ctrl-C ends the program.
    static void InstallInterruptHandler();
    /// True once Ctrl-C was pressed during this run.
    static bool Interrupted();
    /// Standard input and standard error are both terminals.
    static bool Interactive();
    /// Where the user's messages, questions and progress go: standard error as it was at the
    /// start, also when the engine's diagnostic trace is sent elsewhere.
    static FILE* Err();
    /// Sends the engine's diagnostic trace (written to descriptor 2) to /dev/null; the user's
    /// output keeps going to the original standard error.
    static void HideTrace();

    // Messages are held until the command knows whether it succeeded.
    void ShowInformation(const std::string& text) override { m_Messages.push_back({"info", CommandText(text)}); }
    void ShowWarning(const std::string& text) override { m_Messages.push_back({"warning", CommandText(text)}); }
    void ShowError(const std::string& text) override { m_Messages.push_back({"error", CommandText(text)}); }
    /// The engine's messages that point at buttons of the desktop program, told in terms of
    /// commands; every other text as it is.
    static std::string CommandText(const std::string& text);
    /// Writes the held messages: information to standard output when `failed` is false,
    /// everything else to standard error, one line each ("vlm: " and the text, line breaks
    /// joined by blanks).
    void FlushMessages(bool failed);
    /// Keeps standard output for machine-readable output: information goes to standard error.
    void SetInformationToError(bool toError) { m_bInfoToError = toError; }
    /// One line on standard error now.
    void PrintError(const std::string& text);
    const std::vector<Message>& Messages() const { return m_Messages; }

    bool AskYesNo(const std::string& text) override;
    EAnswer AskYesNoCancel(const std::string& text) override;
    /// A yes/no question with the answer taken without a terminal.
    bool Ask(const std::string& text, bool safeAnswer);

    void RunProgress(const std::string& title, bool movingBlock,
                     const std::function<void(IProgress_Client*)>& work) override;
    void OpenScanWindow(EScanWindow kind) override;
    void UpdateScanWindow(EScanWindow kind, const tagScanDisplay& display) override;
    void CloseScanWindow(EScanWindow kind) override;
    bool TakeScanCancelRequest() override;
    void PumpEvents() override {}
    void ShowView(EView) override {}
    bool ChooseDeepScanTypes(CFileTypeTree& tree) override;

    /// The deep-scan types to tick instead of the default choice: extensions or group names,
    /// or "all".
    void SetDeepScanTypes(const std::vector<std::string>& types) { m_DeepScanTypes = types; }
    /// Sectors that could not be read in the last scan.
    uint64_t LastReadErrors() const { return m_u64ReadErrors; }

    // The saving window.
    void OnCurrentFile(const std::string& path) override;
    void OnFileSaved(const std::string& path) override;
    void OnCounts(uint32_t saved, uint32_t selected) override;
    void OnFileProgress(int64_t position, int64_t maximum) override;
    bool IsCanceled() override;
    void EndSaving();

private:
    bool TakeInterrupt();
    char Prompt(const std::string& text, const std::string& choices);

    EForcedAnswer m_Forced;
    bool m_bVerbose;
    bool m_bInfoToError = false;
    std::vector<Message> m_Messages;
    std::vector<std::string> m_DeepScanTypes;
    CProgressLine* m_pLine = nullptr;
    uint64_t m_u64ReadErrors = 0;
    bool m_bSaveCancelled = false;
    uint32_t m_dwSaved = 0;
    uint32_t m_dwSelected = 0;
    std::string m_strCurrent;
};
