/* Test fake of the platform: scripted results and a log of every call. */
#ifndef OSTRIVEL_FAKE_PLATFORM_H
#define OSTRIVEL_FAKE_PLATFORM_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace fake {

struct Disk {
	bool ok = true;
	std::uint64_t freeToCaller = 0, total = 0, totalFree = 0;
	std::uint32_t sectorsPerCluster = 0, bytesPerSector = 0;
	std::uint32_t freeClusters = 0, totalClusters = 0;
};

struct State {
	/* Console: the title is read and written like a real console's. */
	std::string title;
	bool reportsCopiedLength = false; /* else the full length, as Wine does */
	int guardDepth = 0, guardMaxDepth = 0;
	plat::WindowHandle consoleWindow = 0; /* found by the console's title */
	plat::WindowHandle foreground = 0;
	plat::MenuHandle systemMenu = 0;

	/* Version: which record sizes GetVersionExA accepts, and what it says. */
	bool acceptsEx = true, acceptsBasic = true;
	std::uint32_t major = 0, minor = 0, platformId = 0;
	/* At each call: the size field, and how many other bytes were not 0. */
	std::vector<std::uint32_t> versionSizesSeen;
	std::vector<int> versionDirtyBytesSeen;

	/* Directory and disks. */
	std::string cwd = "C:\\";
	bool cwdFails = false;
	bool hasFreeSpaceEx = true;
	std::map<std::string, Disk> disks; /* root -> figures */

	std::set<std::string> files;

	std::vector<std::string> calls;
};

extern State state;

void Reset(void);
/* Calls whose log line starts with prefix, in order. */
std::vector<std::string> Calls(const std::string &prefix);

} // namespace fake

#endif
