#pragma once
// The pictures and pages built into the program (the help page, the icon). They live in the
// pages' static library, whose resource table is linked in only when something asks for it:
// Init() does, and every page that shows a resource calls it first.
#include <QIcon>

namespace GuiResources {

void Init();
/// The program's icon (scalable).
QIcon AppIcon();
/// The help page's HTML; empty when the resources are missing.
QString HelpHtml();

} // namespace GuiResources
