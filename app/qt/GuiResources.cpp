#include "GuiResources.h"

#include <QFile>

// The resource initialiser must be named from the global namespace.
static void InitVellumarResources() { Q_INIT_RESOURCE(vellumar); }

void GuiResources::Init()
{
    static const bool s_bDone = (InitVellumarResources(), true);
    (void)s_bDone;
}

QIcon GuiResources::AppIcon()
{
    Init();
    return QIcon(QStringLiteral(":/vellumar/vellumar.svg"));
}

QString GuiResources::HelpHtml()
{
    Init();
    QFile help(QStringLiteral(":/vellumar/help.html"));
    return help.open(QIODevice::ReadOnly) ? QString::fromUtf8(help.readAll()) : QString();
}
