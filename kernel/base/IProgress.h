#pragma once
// Progress and cancellation. Every scanner and the tree classes are progress servers: each call
// is forwarded, unbuffered, to the client the user interface attached. Between operations the
// static do-nothing client is attached, so a server never holds a null client.
//
/// Cancel contract: long work polls IsCanceled() once per unit of work; on a non-zero answer
/// it stops, calls EndProgress() where it called BeginProgress(), and returns its cancel result.
#include <cstdint>

/// What long work is doing, told to the client before each run of progress values. The numbers
/// are part of the progress protocol; no current client shows the stage.
enum class EStage : int
{
    Discover = 0,       // finding devices, partition tables and volumes
    ReadFileSystem = 2, // reading a file system's folders or records into nodes
    CopyOut = 3,        // copying one file's data out to a target
    BuildTree = 4,      // building the folder tree from the nodes
};

class IProgress_Client
{
public:
    virtual ~IProgress_Client() = default;
    virtual int SetStage(EStage /*stage*/) { return 0; }
    virtual int SetMaxValue(int64_t /*max*/) { return 0; }
    virtual int SetValue(int64_t /*value*/) { return 0; }
    virtual int BeginProgress() { return 0; }
    virtual int EndProgress() { return 0; }
    /// Non-zero when the user asked to stop.
    [[nodiscard]] virtual int IsCanceled() { return 0; }

    /// The shared client that does nothing and never cancels.
    [[nodiscard]] static IProgress_Client* Idle()
    {
        static IProgress_Client s_Idle;
        return &s_Idle;
    }
};

class IProgress_Server
{
public:
    virtual ~IProgress_Server() = default;
    virtual int SetStage(EStage stage) { return m_pClient->SetStage(stage); }
    virtual int SetMaxValue(int64_t max) { return m_pClient->SetMaxValue(max); }
    virtual int SetValue(int64_t value) { return m_pClient->SetValue(value); }
    virtual int BeginProgress() { return m_pClient->BeginProgress(); }
    virtual int EndProgress() { return m_pClient->EndProgress(); }
    [[nodiscard]] virtual int IsCanceled() { return m_pClient->IsCanceled(); }

    /// Attaches a client (not owned); null re-attaches the do-nothing client.
    void SetClient(IProgress_Client* client) { m_pClient = client ? client : IProgress_Client::Idle(); }
    [[nodiscard]] IProgress_Client* GetClient() const { return m_pClient; }

private:
    IProgress_Client* m_pClient = IProgress_Client::Idle();
};
