/* Command line: usage text and the option walk. */
#ifndef OSTRIVEL_APP_H
#define OSTRIVEL_APP_H

void Usage(void);
void HandleOptions(int argc, char **argv);

#endif
