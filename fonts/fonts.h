/* Font refresh: the optional font-file report and the font-change broadcast. */
#ifndef OSTRIVEL_FONTS_H
#define OSTRIVEL_FONTS_H

/*
 * typed: the same path as the user typed it, in UTF-16, or nullptr; shown:
 * the same as the console shows it, for the report.
 */
int FileExists(const char *path, const char16_t *typed);
int InstallFontIntoWindows(const char *path, const char16_t *typed, const char *shown);
void RefreshFonts(const char *font, const char16_t *typed, const char *shown);

#endif
