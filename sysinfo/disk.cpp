#include "sysinfo/sysinfo.h"

#include <ctype.h>
#include <stdio.h>

#include "platform/platform.h"

static const double GIGABYTE = 1073741824.0;

/* A letter of either case, or 1 to 26 for A to Z; -1.0 for anything else. */
double
AvailableDiskSize(char drive)
{
	int letter = toupper(static_cast<unsigned char>(drive));
	if (letter >= 1 && letter <= 26)
		letter += 64;
	if (letter < 'A' || letter > 'Z')
		return -1.0;
	char root[4] = {static_cast<char>(letter), ':', '\\', '\0'};

	/* Systems before 95 OSR2 lack the 64-bit query, so look it up. */
	plat::ModuleHandle kernel = plat::GetModuleHandleA("kernel32.dll");
	plat::DiskFreeSpaceExProc freeEx = reinterpret_cast<plat::DiskFreeSpaceExProc>(
	    plat::GetProcAddress(kernel, "GetDiskFreeSpaceExA"));
	if (freeEx != nullptr) {
		uint64_t toCaller = 0, total = 0, totalFree = 0;
		if (!freeEx(root, &toCaller, &total, &totalFree))
			return 0.0;
		double high = static_cast<double>(toCaller >> 32);
		double low = static_cast<double>(toCaller & 0xFFFFFFFFu);
		return (high * 4294967296.0 + low) / GIGABYTE;
	}

	uint32_t sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
	if (!plat::GetDiskFreeSpaceA(root, &sectors, &bytes, &freeClusters, &clusters))
		return 0.0;
	return static_cast<double>(freeClusters) * static_cast<double>(sectors) *
	       static_cast<double>(bytes) / GIGABYTE;
}

/*
 * The longest current directory in bytes: Windows limits paths in UTF-16
 * units, and the ANSI page may take up to 3 bytes for one (UTF-8; 2 in the
 * double-byte pages), so a folder that fits Windows may not fit 260 bytes.
 */
static char deepdir[3 * 32768];

/* "?" when the directory cannot be read: no drive at all. */
void
GetCurDisk(char *drive)
{
	char dir[260];
	unsigned n = plat::GetCurrentDirectoryA(sizeof dir, dir);
	if (n < sizeof dir) {
		*drive = n == 0 ? '?' : dir[0];
		return;
	}
	/* Too long for the buffer: n is the size it needs. */
	n = plat::GetCurrentDirectoryA(sizeof deepdir, deepdir);
	*drive = (n == 0 || n >= sizeof deepdir) ? '?' : deepdir[0];
}

void
WriteDiskSpace(void)
{
	char drive[2] = {'\0', '\0'};
	GetCurDisk(drive);
	printf("Disk %s=%f GB\n", drive, AvailableDiskSize(drive[0]));
	if (drive[0] != 'C')
		printf("Disk C=%f GB\n", AvailableDiskSize('C'));
}
