// The help command: the first PDF in the program directory, opened with the
// desktop's default viewer.
#pragma once

#include "gui/message_boxes.h"

namespace stampwise::gui {

void OpenHelp(MessageBoxes& boxes, QWidget* parent);

}  // namespace stampwise::gui
