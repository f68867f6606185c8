#pragma once
// The subcommands of vlm. Each returns the exit status.
class CCliSession;

int CmdDevices(CCliSession& cli);
int CmdUndelete(CCliSession& cli);
int CmdOpen(CCliSession& cli);
int CmdScan(CCliSession& cli);
int CmdList(CCliSession& cli);
int CmdRecover(CCliSession& cli);
int CmdExport(CCliSession& cli);
int CmdResume(CCliSession& cli);
int CmdFind(CCliSession& cli, bool matchCase, bool matchWord);
