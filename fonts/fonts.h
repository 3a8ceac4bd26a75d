/* Font refresh: the optional font-file report and the font-change broadcast. */
#ifndef OSTRIVEL_FONTS_H
#define OSTRIVEL_FONTS_H

/* typed: the same path as the user typed it, in UTF-16, or nullptr. */
int FileExists(const char *path, const char16_t *typed);
int InstallFontIntoWindows(const char *path, const char16_t *typed);
void RefreshFonts(const char *font, const char16_t *typed);

#endif
