#pragma once
// Reading the machine's disks without running as root. Block devices are readable only by root,
// and a desktop program cannot run as root under every display server, so the program asks for
// administrator rights once (pkexec shows the desktop's password dialog) to start a tiny helper
// that opens each disk read-only and passes the descriptor back over a Unix socket. Every read
// still happens here, through that descriptor.
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

class OsAdminOpener
{
public:
    enum class State
    {
        Off,         // not asked for: disks that need root are simply not opened
        Ready,       // asked for; the helper starts at the first disk that needs it
        Running,     // the helper runs and answers
        Unavailable, // pkexec or the helper program is missing
        Refused      // the password dialog was dismissed or the rights were not given
    };

    static OsAdminOpener& Instance();
    ~OsAdminOpener();
    OsAdminOpener(const OsAdminOpener&) = delete;
    OsAdminOpener& operator=(const OsAdminOpener&) = delete;

    // On: Ready (also after Refused or Unavailable, to try again). Off: stops the helper.
    void SetEnabled(bool enabled);
    bool Enabled() const { return m_State == State::Ready || m_State == State::Running; }
    State GetState() const { return m_State; }

    // The command that starts the helper, the helper's path last. By default pkexec and the
    // helper found beside the program or in its libexec folder. Stops a running helper.
    void SetLauncher(std::vector<std::string> argv);
    std::vector<std::string> DefaultLauncher() const;

    // Opens `path` read-only through the helper, starting it on first use. Returns a system
    // error number; ERROR_ACCESS_DENIED when rights are not (or no longer) available.
    uint32_t Open(const std::string& path, int* fd);

    // Closes the conversation; the helper ends with it.
    void Stop();

private:
    OsAdminOpener() = default;
    bool Start();
    void Reap(bool refused);

    State m_State = State::Off;
    int m_Sock = -1;
    pid_t m_Child = -1;
    std::vector<std::string> m_Launcher;
};

// Opens a device node read-only: directly, or through the helper when access is denied and
// administrator rights were asked for. Returns a system error number.
uint32_t OsOpenDeviceReadOnly(const std::string& path, int* fd);
