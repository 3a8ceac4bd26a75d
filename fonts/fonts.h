/* Font refresh: the optional font-file report and the font-change broadcast. */
#ifndef OSTRIVEL_FONTS_H
#define OSTRIVEL_FONTS_H

int FileExists(const char *path);
int InstallFontIntoWindows(const char *path);
void RefreshFonts(const char *font);

#endif
