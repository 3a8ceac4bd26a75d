/* System information: free disk space, system name, information report. */
#ifndef OSTRIVEL_SYSINFO_H
#define OSTRIVEL_SYSINFO_H

/* Longest system name, "Windows NT-Server 2003", plus its NUL. */
enum { OS_NAME_SIZE = 23 };

double AvailableDiskSize(char drive);
void GetCurDisk(char *drive);
void WriteDiskSpace(void);
void GetVersionOS(char *name);
void WriteInformation(void);

#endif
