// Must not compile: the values room does not use the window's folder, so the
// window's header is not there for it.
#include "app/values/formats.h"
#include "gui/texts.h"
