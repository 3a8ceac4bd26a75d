/* Console window control: discovery, handle reports, close button. */
#ifndef OSTRIVEL_CONSOLE_H
#define OSTRIVEL_CONSOLE_H

#include "platform/platform.h"

extern const char temptitle[];

plat::WindowHandle FindConsoleHandle(void);
void WriteHWNDConsole(int labelled);
void WriteHWNDForeground(int labelled);
void DisableCloseButton(void);
void SetTitle(const char *title, const char16_t *typed);

#endif
