#include "sysinfo/sysinfo.h"

#include <stdio.h>
#include <string.h>

#include "console/console.h"
#include "platform/platform.h"

enum { WIN32S = 0, WIN32_WINDOWS = 1, WIN32_NT = 2 };

/* Names the 9x and NT releases up to Server 2003; later ones stay empty. */
void
GetVersionOS(char *name)
{
	name[0] = '\0';

	plat::VersionInfo info;
	memset(&info, 0, sizeof info);
	info.dwOSVersionInfoSize = plat::VERSION_INFO_EX_SIZE;
	bool extended = plat::GetVersionExA(&info);
	if (!extended) {
		/* Before NT4 SP6 only the basic record is accepted. */
		info.dwOSVersionInfoSize = plat::VERSION_INFO_SIZE;
		if (!plat::GetVersionExA(&info))
			return;
	}
	/* XP x64 is 5.2 like Server 2003; only the extended record tells them apart. */
	bool workstation = extended && info.wProductType == plat::NT_WORKSTATION;

	uint32_t major = info.dwMajorVersion, minor = info.dwMinorVersion;
	switch (info.dwPlatformId) {
	case WIN32_WINDOWS:
		if (major == 4 && minor == 0)
			strcpy(name, "Windows 95");
		if (major == 4 && minor == 10)
			strcpy(name, "Windows 98");
		if (major == 4 && minor == 90)
			strcpy(name, "Windows ME");
		break;
	case WIN32S:
		printf("Microsoft Win32s\n");
		break;
	case WIN32_NT:
		if (major == 5 && minor == 2)
			strcpy(name, workstation ? "Windows NT-XP" : "Windows NT-Server 2003");
		if (major == 5 && minor == 1)
			strcpy(name, "Windows NT-XP");
		if (major == 5 && minor == 0)
			strcpy(name, "Windows NT-2000");
		if (major <= 4)
			strcpy(name, "Windows NT");
		break;
	}
}

void
WriteInformation(void)
{
	char name[OS_NAME_SIZE];

	WriteHWNDConsole(1);
	WriteHWNDForeground(1);
	GetVersionOS(name);
	printf("OS version=%s\n", name);
	WriteDiskSpace();
}
