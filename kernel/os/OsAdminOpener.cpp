#include "os/OsAdminOpener.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "os/OsDevice.h"
#include "os/OsFdPassing.h"
#include "os/OsFile.h"

namespace {

constexpr const char* kHelperName = "vlm-device-helper";
// The password dialog waits for a person: give them time, but not forever.
constexpr int kAnswerTimeoutMs = 10 * 60 * 1000;

bool IsExecutable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

std::string Canonical(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

std::string FindInPath(const char* name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size())
    {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && IsExecutable(dir + "/" + name)) return dir + "/" + name;
        start = end + 1;
    }
    return {};
}

} // namespace

OsAdminOpener& OsAdminOpener::Instance()
{
    static OsAdminOpener opener;
    return opener;
}

OsAdminOpener::~OsAdminOpener() { Stop(); }

void OsAdminOpener::SetEnabled(bool enabled)
{
    if (!enabled)
    {
        Stop();
        m_State = State::Off;
    }
    else if (m_State != State::Running)
        m_State = State::Ready;
}

void OsAdminOpener::SetLauncher(std::vector<std::string> argv)
{
    Stop();
    m_Launcher = std::move(argv);
    if (m_State == State::Running) m_State = State::Ready;
}

std::vector<std::string> OsAdminOpener::DefaultLauncher() const
{
    // pkexec wants the absolute path, and the polkit action names the installed one.
    const std::string folder = OsProgramFolder();
    std::string helper;
    for (const std::string& candidate : {folder + "../libexec/vellumar/" + kHelperName, folder + kHelperName})
        if (helper.empty() && IsExecutable(candidate)) helper = Canonical(candidate);
    const std::string pkexec = FindInPath("pkexec");
    if (helper.empty() || pkexec.empty()) return {};
    return {pkexec, helper};
}

bool OsAdminOpener::Start()
{
    const std::vector<std::string> argv = m_Launcher.empty() ? DefaultLauncher() : m_Launcher;
    if (argv.empty())
    {
        VlmTrace("Administrator rights: pkexec or %s not found\n", kHelperName);
        m_State = State::Unavailable;
        return false;
    }
    int pair[2];
    int report[2]; // the child reports a failed exec through this close-on-exec pipe
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return false;
    if (::pipe2(report, O_CLOEXEC) != 0)
    {
        ::close(pair[0]);
        ::close(pair[1]);
        return false;
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0)
    {
        // Standard input becomes the socket; the helper answers on it.
        if (::dup2(pair[1], STDIN_FILENO) >= 0) ::execv(args[0], args.data());
        const int error = errno;
        (void)!::write(report[1], &error, sizeof(error));
        ::_exit(127);
    }
    ::close(pair[1]);
    ::close(report[1]);
    if (child < 0)
    {
        ::close(pair[0]);
        ::close(report[0]);
        return false;
    }
    int execError = 0;
    ssize_t n;
    do n = ::read(report[0], &execError, sizeof(execError));
    while (n < 0 && errno == EINTR);
    ::close(report[0]);
    m_Sock = pair[0];
    m_Child = child;
    if (n > 0)
    {
        VlmTrace("Administrator rights: cannot start %s (errno %d)\n", args[0], execError);
        Reap(false);
        m_State = State::Unavailable;
        return false;
    }
    m_State = State::Running;
    return true;
}

void OsAdminOpener::Reap(bool refused)
{
    if (m_Sock >= 0) ::close(m_Sock);
    m_Sock = -1;
    if (m_Child > 0)
    {
        // The helper ends when its socket closes; pkexec follows it.
        int status = 0;
        for (int i = 0; i < 200 && ::waitpid(m_Child, &status, WNOHANG) == 0; ++i) ::usleep(10000);
        if (::waitpid(m_Child, &status, WNOHANG) == 0)
        {
            ::kill(m_Child, SIGTERM);
            ::waitpid(m_Child, &status, 0);
        }
        if (refused) VlmTrace("Administrator rights: the helper ended (status %d)\n", status);
    }
    m_Child = -1;
    if (refused) m_State = State::Refused;
}

void OsAdminOpener::Stop()
{
    if (m_Sock >= 0 || m_Child > 0) Reap(false);
    if (m_State == State::Running) m_State = State::Ready;
}

uint32_t OsAdminOpener::Open(const std::string& path, int* fd)
{
    *fd = -1;
    if (m_State == State::Ready && !Start()) return ERROR_ACCESS_DENIED;
    if (m_State != State::Running) return ERROR_ACCESS_DENIED;
    if (path.empty() || path.size() > kOsDeviceRequestMax - 6 ||
        path.find_first_of(std::string("\n\0", 2)) != std::string::npos)
        return ERROR_INVALID_NAME;
    if (!OsSendOpenRequest(m_Sock, path))
    {
        Reap(true);
        return ERROR_ACCESS_DENIED;
    }
    // Before the first answer pkexec may be showing the password dialog.
    pollfd p{m_Sock, POLLIN, 0};
    int ready;
    do ready = ::poll(&p, 1, kAnswerTimeoutMs);
    while (ready < 0 && errno == EINTR);
    uint32_t status = 0;
    if (ready <= 0 || !OsReceiveStatusAndFd(m_Sock, &status, fd))
    {
        Reap(true);
        return ERROR_ACCESS_DENIED;
    }
    if (status == ERROR_SUCCESS && *fd < 0) return ERROR_INVALID_HANDLE;
    if (status != ERROR_SUCCESS && *fd >= 0)
    {
        ::close(*fd);
        *fd = -1;
    }
    return status;
}

uint32_t OsOpenDeviceReadOnly(const std::string& path, int* fd)
{
    const uint32_t err = OsOpenReadOnly(path, fd);
    OsAdminOpener& opener = OsAdminOpener::Instance();
    if (err != ERROR_ACCESS_DENIED || !opener.Enabled()) return err;
    return opener.Open(path, fd);
}
