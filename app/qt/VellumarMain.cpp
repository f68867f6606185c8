// The desktop program. Options: --image FILE (repeatable) adds a disk image to the devices, so
// that an image is recovered without rights on the machine's disks; --no-machine-devices
// leaves the machine's disks out (demonstrations, screenshots).
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <QApplication>
#include <QIcon>

#include "CMainFrame.h"
#include "GuiResources.h"
#include "base/VlmTrace.h"
#include "core/DeviceAccess.h"

namespace {

void Usage()
{
    std::printf("usage: vellumar [--image FILE [--map MAPFILE]]... [--no-machine-devices]\n"
                "  --image FILE           recover from a disk image file (repeatable)\n"
                "  --map MAPFILE          the rescue map of the --image before it: what it does not\n"
                "                         call rescued reads as unreadable sectors\n"
                "  --no-machine-devices   do not list the disks of this computer\n");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::pair<std::string, std::string>> images; // image and its rescue map
    bool machine = true;
    for (int i = 1; i < argc; ++i)
    {
        if (!std::strcmp(argv[i], "--image") && i + 1 < argc)
            images.emplace_back(argv[++i], std::string());
        else if (!std::strncmp(argv[i], "--image=", 8))
            images.emplace_back(argv[i] + 8, std::string());
        else if ((!std::strcmp(argv[i], "--map") && i + 1 < argc) || !std::strncmp(argv[i], "--map=", 6))
        {
            const char* map = argv[i][5] == '=' ? argv[i] + 6 : argv[++i];
            if (images.empty() || !images.back().second.empty())
            {
                std::fprintf(stderr, "vellumar: --map %s must follow the --image it belongs to\n", map);
                return 2;
            }
            images.back().second = map;
        }
        else if (!std::strcmp(argv[i], "--no-machine-devices"))
            machine = false;
        else if (!std::strcmp(argv[i], "--version"))
        {
            std::printf("vellumar %s\n", VLM_VERSION);
            return 0;
        }
        else if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h"))
        {
            Usage();
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vellumar"));
    QApplication::setApplicationVersion(QStringLiteral(VLM_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Vellumar"));
    GuiResources::Init();
    QApplication::setWindowIcon(GuiResources::AppIcon());
    QApplication::setDesktopFileName(QStringLiteral("vellumar"));

    for (const auto& [image, map] : images)
    {
        std::string error, warning;
        if (!map.empty() && !DeviceAccess::CheckMap(map, image, &error, &warning))
        {
            std::fprintf(stderr, "vellumar: %s\n", error.c_str());
            return 1;
        }
        if (!warning.empty()) std::fprintf(stderr, "vellumar: warning: %s\n", warning.c_str());
        DeviceAccess::AddImage(image, map);
    }
    DeviceAccess::SetMachineDisks(machine);

    VlmTrace("Creating the main frame...\n");
    CMainFrame frame;
    VlmTrace("Showing the main frame...\n");
    frame.show();
    VlmTrace("Updating the main frame...\n");
    frame.update();
    return QApplication::exec();
}
