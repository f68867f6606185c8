#pragma once
// Runs the built vlm program on committed test images and reads what it left behind.
#include <string>
#include <vector>

#include "support/TestFiles.h"
#include "support/TestImages.h"

/// Whether `text` holds `part`.
inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct CliResult
{
    int Exit = -1;
    std::string Out;
    std::string Err;
};

// A private folder with unpacked images and a resume folder; vlm runs with only these images
// as its hard disks, never the machine's.
class CliFixture
{
public:
    CliFixture();
    /// Unpacks tests/data/<name>.img.zst (or samples/<name>.img.zst); returns the image's path.
    std::string Image(const std::string& name);
    /// vlm --no-machine-devices [--image each] ARGS, standard input from /dev/null.
    /// `shell` runs first in the same shell (limits, traps); with `interruptAfterMs` the
    /// program gets SIGINT that long after its start.
    CliResult Run(const std::vector<std::string>& images, const std::vector<std::string>& args,
                  const std::string& shell = "", int interruptAfterMs = 0);
    /// A new empty folder inside the fixture.
    std::string NewFolder(const std::string& name);

    TempDir Dir;
};
