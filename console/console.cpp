#include "console/console.h"

#include <stdio.h>
#include <string.h>

/* A title no other window has, so the window manager finds ours by it. */
const char temptitle[] = "{98C1C303-2A9E-11d4-9FF5-006067718D05}";

/*
 * The sizes the title is read with, smallest first. A console answers a read
 * too small for its title with the copied length, the full length or 0, and
 * consoles of XP's kind (ReactOS's among them) refuse buffers above about
 * 24 500 units, so a larger size is tried only while the read may not hold
 * the whole title. The largest has room for
 * more than any title a Windows console holds (under 64 Ki units), so a title
 * that does not fit it is known to be too long to save.
 */
enum { TITLE_FIRST = 512, TITLE_CAPPED = 24500, TITLE_LARGEST = 65537 };
static const unsigned TITLE_SIZES[] = {TITLE_FIRST, TITLE_CAPPED, TITLE_LARGEST};

/* Static: too large for the stack. */
static char16_t savedwide[TITLE_LARGEST];
static char savedtitle[TITLE_LARGEST];

/*
 * Whole: the read returned n, with room to spare in the buffer, and the
 * buffer holds exactly n characters before its NUL. Anything else may be
 * cut, whichever way the console reports it.
 */
template <typename Char>
static bool
IsWhole(const Char *title, unsigned size, unsigned n)
{
	if (n == 0 || n >= size - 1)
		return false;
	for (unsigned i = 0; i < n; i++)
		if (title[i] == 0)
			return false;
	return title[n] == 0;
}

/*
 * Reads the title into a growing buffer until one read holds it whole, and
 * says whether one did; *answered, whether any read returned other than 0.
 */
template <typename Char>
static bool
ReadWholeTitle(unsigned (*read)(Char *, unsigned), Char *title, bool *answered)
{
	*answered = false;
	for (unsigned size : TITLE_SIZES) {
		unsigned n = read(title, size);
		*answered = *answered || n != 0;
		if (IsWhole(title, size, n))
			return true;
	}
	return false;
}

/*
 * 95, 98, ME and NT 4 cannot name the console's window: the console is given
 * a title no other window has, and the window manager is asked for the
 * window with it. NT 4 keeps titles in UTF-16, and through the 8-bit entries
 * every character outside the code page would come back as "?", so the
 * title is saved and put back through the wide entries; the 8-bit ones
 * serve only where the wide ones answer nothing at all (the 9x family). A
 * title that cannot be saved whole is left alone, and then there is no
 * window. The caption does not always carry the title: a selection puts
 * "Mark" or "Select" before it, and another window may carry the temporary
 * title above ours; both are limits of these systems.
 */
static plat::WindowHandle
FindByTitle(void)
{
	plat::WindowHandle window = 0;
	bool answered;

	plat::BeginTitleGuard();
	bool wide = ReadWholeTitle(plat::GetConsoleTitleW, savedwide, &answered);
	if (wide || (!answered && ReadWholeTitle(plat::GetConsoleTitleA, savedtitle, &answered))) {
		plat::SetConsoleTitleA(temptitle);
		plat::Sleep(50);
		window = plat::FindWindowA(nullptr, temptitle);
		if (wide)
			plat::SetConsoleTitleW(savedwide);
		else
			plat::SetConsoleTitleA(savedtitle);
	}
	plat::EndTitleGuard();
	return window;
}

/*
 * What the system names for the console (GetConsoleWindow, 2000 and later):
 *   NO_ENTRY:      nothing: the system lacks the entry (95, 98, ME, NT 4);
 *   NAMED_NONE:    no window: 0 (a console started without one) or a handle
 *                  that is no window (Windows 10 1809 answers garbage there);
 *   NAMED_CLASSIC: the console's own top-level window;
 *   NAMED_PSEUDO:  the hidden stand-in of a pseudo console (Windows Terminal,
 *                  editors' terminals, ssh), of its own class on Windows,
 *                  message-only under Wine.
 */
enum Named { NO_ENTRY, NAMED_NONE, NAMED_CLASSIC, NAMED_PSEUDO };

static Named
NamedWindow(plat::WindowHandle *named)
{
	if (!plat::GetConsoleWindow(named))
		return NO_ENTRY;
	char name[32];
	if (*named == 0 || plat::GetClassNameA(*named, name, sizeof name) == 0)
		return NAMED_NONE;
	if (strcmp(name, "PseudoConsoleWindow") == 0)
		return NAMED_PSEUDO;
	plat::WindowHandle parent = plat::GetAncestor(*named, plat::ANCESTOR_PARENT);
	return parent != 0 && parent != plat::GetDesktopWindow() ? NAMED_PSEUDO : NAMED_CLASSIC;
}

/*
 * The terminal's window, which Windows Terminal makes the stand-in's owner,
 * or 0 where the host leaves the stand-in unowned.
 */
static plat::WindowHandle
TerminalWindow(plat::WindowHandle standIn)
{
	plat::WindowHandle owner = plat::GetAncestor(standIn, plat::ANCESTOR_ROOTOWNER);
	return owner != standIn ? owner : 0;
}

/*
 * A classic console's window. Where the system can name it, that is the
 * answer whatever the title and caption show, and the title is never
 * touched. Where it names none the console has no window: a title would
 * find only another program's.
 */
static plat::WindowHandle
ClassicWindow(Named named, plat::WindowHandle window)
{
	if (named == NO_ENTRY)
		return FindByTitle();
	return named == NAMED_CLASSIC ? window : 0;
}

plat::WindowHandle
FindConsoleHandle(void)
{
	plat::WindowHandle window;
	Named named = NamedWindow(&window);
	return named == NAMED_PSEUDO ? TerminalWindow(window) : ClassicWindow(named, window);
}

/* Handles are printed as their low 32 bits, all a window handle carries. */
static void
WriteHWND(const char *label, plat::WindowHandle window, int labelled)
{
	unsigned number = static_cast<unsigned>(window);
	if (labelled)
		printf("hwnd %s=%u\n", label, number);
	else
		printf("%u", number);
}

void
WriteHWNDConsole(int labelled)
{
	WriteHWND("console", FindConsoleHandle(), labelled);
}

void
WriteHWNDForeground(int labelled)
{
	WriteHWND("foreground", plat::GetForegroundWindow(), labelled);
}

/*
 * The NT family reads an 8-bit title in the console's code page (OEM), not
 * in the ANSI one the value came in, so the title goes through the wide
 * entry. The 9x family has only the 8-bit entry.
 */
void
SetTitle(const char *title, const char16_t *wide)
{
	if (wide == nullptr || !plat::SetConsoleTitleW(wide))
		plat::SetConsoleTitleA(title);
}

/*
 * Only a console window of its own: a terminal's one window holds every tab,
 * and draws its own Close button anyway.
 */
void
DisableCloseButton(void)
{
	plat::WindowHandle window;
	Named named = NamedWindow(&window);
	if (named == NAMED_PSEUDO)
		return;
	window = ClassicWindow(named, window);
	plat::MenuHandle menu = plat::GetSystemMenu(window, 0);
	plat::DeleteMenu(menu, plat::CLOSE_COMMAND, plat::BY_COMMAND);
	plat::SetWindowPos(window, 0, 0, 0, 0, 0, plat::FRAME_REFRESH);
}
