#pragma once
// A scripted user-interface port: records every message, question, progress window, scan
// window update and view switch, and answers questions from a script.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/IMonotonicClock.h"
#include "core/IUserPort.h"

class FakeUserPort final : public IUserPort
{
public:
    struct Message
    {
        std::string Kind; // "info", "warning", "error", "yesno", "yesnocancel"
        std::string Text;
    };

    void ShowInformation(const std::string& text) override { Messages.push_back({"info", text}); }
    void ShowWarning(const std::string& text) override { Messages.push_back({"warning", text}); }
    void ShowError(const std::string& text) override { Messages.push_back({"error", text}); }
    bool AskYesNo(const std::string& text) override;
    EAnswer AskYesNoCancel(const std::string& text) override;
    void RunProgress(const std::string& title, bool movingBlock,
                     const std::function<void(IProgress_Client*)>& work) override;
    void OpenScanWindow(EScanWindow kind) override { ScanWindows.push_back(kind); }
    void UpdateScanWindow(EScanWindow, const tagScanDisplay& display) override { Updates.push_back(display); }
    void CloseScanWindow(EScanWindow) override { ++ClosedScanWindows; }
    bool TakeScanCancelRequest() override;
    void PumpEvents() override { ++Pumps; }
    void ShowView(EView view) override { Views.push_back(view); }
    bool ChooseDeepScanTypes(CFileTypeTree& tree) override;

    /// Texts of every message of `kind` ("" = all kinds).
    std::vector<std::string> Texts(const std::string& kind = "") const;

    // Script.
    std::deque<bool> YesNoAnswers;          // default: yes
    std::deque<EAnswer> YesNoCancelAnswers; // default: cancel
    int CancelAtPump = -1;                  // the Cancel button is pressed at this pump (1-based)
    bool DeepScanTypesOk = true;
    bool CancelProgress = false; // progress clients report a cancel

    // Record.
    std::vector<Message> Messages;
    std::vector<std::string> ProgressTitles;
    std::vector<EScanWindow> ScanWindows;
    std::vector<tagScanDisplay> Updates;
    int ClosedScanWindows = 0;
    int Pumps = 0;
    std::vector<EView> Views;
};

// A clock that advances by a fixed step each time it is read.
class SteppingClock final : public IMonotonicClock
{
public:
    explicit SteppingClock(uint64_t stepMs) : m_Step(stepMs) {}
    uint64_t NowMs() override
    {
        const uint64_t now = m_Now;
        m_Now += m_Step;
        return now;
    }

private:
    uint64_t m_Now = 1000000;
    uint64_t m_Step;
};
