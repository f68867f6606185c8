#include "FakeUserPort.h"

#include "core/CFileTypeTree.h"

namespace {

class RecordingClient final : public IProgress_Client
{
public:
    explicit RecordingClient(bool cancel) : m_Cancel(cancel) {}
    int IsCanceled() override { return m_Cancel ? 1 : 0; }

private:
    bool m_Cancel;
};

} // namespace

bool FakeUserPort::AskYesNo(const std::string& text)
{
    Messages.push_back({"yesno", text});
    if (YesNoAnswers.empty()) return true;
    const bool answer = YesNoAnswers.front();
    YesNoAnswers.pop_front();
    return answer;
}

EAnswer FakeUserPort::AskYesNoCancel(const std::string& text)
{
    Messages.push_back({"yesnocancel", text});
    if (YesNoCancelAnswers.empty()) return EAnswer::Cancel;
    const EAnswer answer = YesNoCancelAnswers.front();
    YesNoCancelAnswers.pop_front();
    return answer;
}

void FakeUserPort::RunProgress(const std::string& title, bool, const std::function<void(IProgress_Client*)>& work)
{
    ProgressTitles.push_back(title);
    RecordingClient client(CancelProgress);
    work(&client);
}

bool FakeUserPort::TakeScanCancelRequest()
{
    if (Pumps != CancelAtPump) return false;
    CancelAtPump = -1;
    return true;
}

bool FakeUserPort::ChooseDeepScanTypes(CFileTypeTree& tree) { return DeepScanTypesOk && tree.AcceptChoice(*this); }

std::vector<std::string> FakeUserPort::Texts(const std::string& kind) const
{
    std::vector<std::string> out;
    for (const Message& m : Messages)
        if (kind.empty() || m.Kind == kind) out.push_back(m.Text);
    return out;
}
