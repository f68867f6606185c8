#pragma once
// Nothing this program writes (recovered files, listings, scan results) may land on what it
// recovers from. Every output path is checked here, by both front ends, before it is opened:
// against every registered image (the --image, --floppy and optical files) and every device of
// the selected volume.
#include <string>
#include <vector>

class CGlobalParamTable;

class CSourceGuard
{
public:
    /// The image files and device nodes being recovered in this session.
    static std::vector<std::string> Sources(CGlobalParamTable& session);
    /// The image files and the device nodes of volume `volume` (an index of the volume manager).
    static std::vector<std::string> VolumeSources(CGlobalParamTable& session, int volume);
    /// The source that writing to `path` would change, or "" when the path is safe.
    static std::string SourceUnder(CGlobalParamTable& session, const std::string& path);
    /// The refusal text for `path` on `source`.
    static std::string RefusalText(const std::string& path, const std::string& source);
};
