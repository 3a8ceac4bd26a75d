/* Console window control: discovery, handle reports, close button. */
#ifndef OSTRIVEL_CONSOLE_H
#define OSTRIVEL_CONSOLE_H

#include "platform/platform.h"

extern const char temptitle[];

plat::WindowHandle FindConsoleHandle(void);
void WriteHWNDConsole(int labelled);
void WriteHWNDForeground(int labelled);
void DisableCloseButton(void);
/* wide: the same title in UTF-16, as typed or widened, or nullptr. */
void SetTitle(const char *title, const char16_t *wide);

#endif
