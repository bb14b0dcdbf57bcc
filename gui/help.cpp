#include "gui/help.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "app/base/paths.h"
#include "app/texts/messages.h"
#include "gui/texts.h"

namespace stampwise::gui {

void OpenHelp(MessageBoxes& boxes, QWidget* parent) {
  QDir folder;
  QStringList manuals;
  for (const std::string& directory : ResourceDirectories()) {
    folder = QDir(FromUtf8(directory));
    manuals = folder.entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
    if (!manuals.isEmpty()) break;
  }
  if (manuals.isEmpty()) return;  // no manual: no reaction
  // xdg-open reports only success or failure; a failure mostly means that no
  // viewer is associated with PDF files.
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder.filePath(manuals.first())))) {
    boxes.Warning(parent, TableText(msg::kNoPdfViewer));
  }
}

}  // namespace stampwise::gui
