/* The information report: the system name, free disk space, the lines in order. */
#include "run.h"

#include <cstring>

#include "sysinfo/sysinfo.h"

using Calls = std::vector<std::string>;

class Report : public FakeTest {};

static const double GB = 1073741824.0;

static std::string
VersionName(void)
{
	char name[OS_NAME_SIZE];
	std::memset(name, 'x', sizeof name);
	std::string out = Capture([&] { GetVersionOS(name); });
	EXPECT_EQ(out, "");
	return name;
}

static void
Version(std::uint32_t id, std::uint32_t major, std::uint32_t minor)
{
	fake::state.platformId = id;
	fake::state.major = major;
	fake::state.minor = minor;
}

TEST_F(Report, VersionAsksWithTheExtendedRecordFirst)
{
	Version(2, 5, 1);
	EXPECT_EQ(VersionName(), "Windows NT-XP");
	EXPECT_EQ(fake::state.versionSizesSeen, (std::vector<std::uint32_t>{156}));
	EXPECT_EQ(fake::state.versionDirtyBytesSeen, (std::vector<int>{0}));
}

TEST_F(Report, VersionFallsBackToTheBasicRecordWithoutZeroingAgain)
{
	Version(1, 4, 10);
	fake::state.acceptsEx = false;
	EXPECT_EQ(VersionName(), "Windows 98");
	EXPECT_EQ(fake::state.versionSizesSeen, (std::vector<std::uint32_t>{156, 148}));
	/* The first call's mark in the record is still there for the second. */
	EXPECT_EQ(fake::state.versionDirtyBytesSeen[0], 0);
	EXPECT_GT(fake::state.versionDirtyBytesSeen[1], 0);
}

TEST_F(Report, VersionNameIsEmptyWhenBothQueriesFail)
{
	Version(2, 5, 1);
	fake::state.acceptsEx = fake::state.acceptsBasic = false;
	EXPECT_EQ(VersionName(), "");
	EXPECT_EQ(fake::state.versionSizesSeen.size(), 2u);
}

/* Product types of the extended record: VER_NT_WORKSTATION, _DOMAIN_CONTROLLER, _SERVER. */
enum { NONE = 0, WORKSTATION = 1, DOMAIN_CONTROLLER = 2, SERVER = 3 };

struct NameRow {
	std::uint32_t id, major, minor;
	std::uint8_t product;
	const char *name;
};

static std::string
RowName(const NameRow &row)
{
	static const char *const PRODUCTS[] = {"", "_workstation", "_domain_controller", "_server"};
	return "id" + std::to_string(row.id) + "_" + std::to_string(row.major) + "_" +
	       std::to_string(row.minor) + PRODUCTS[row.product];
}

void
PrintTo(const NameRow &row, std::ostream *os)
{
	*os << RowName(row) << " \"" << row.name << "\"";
}

class ReportNames : public testing::TestWithParam<NameRow> {
protected:
	void SetUp() override { fake::Reset(); }
};

TEST_P(ReportNames, NamesTheSystem)
{
	const NameRow &row = GetParam();
	Version(row.id, row.major, row.minor);
	fake::state.productType = row.product;
	EXPECT_EQ(VersionName(), row.name);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReportNames,
    testing::Values(NameRow{1, 4, 0, NONE, "Windows 95"}, NameRow{1, 4, 10, NONE, "Windows 98"},
                    NameRow{1, 4, 90, NONE, "Windows ME"},
                    NameRow{2, 5, 2, SERVER, "Windows NT-Server 2003"},
                    NameRow{2, 5, 2, DOMAIN_CONTROLLER, "Windows NT-Server 2003"},
                    /* XP x64 reports 5.2, like Server 2003. */
                    NameRow{2, 5, 2, WORKSTATION, "Windows NT-XP"},
                    NameRow{2, 5, 1, WORKSTATION, "Windows NT-XP"},
                    NameRow{2, 5, 0, WORKSTATION, "Windows NT-2000"},
                    NameRow{2, 5, 0, SERVER, "Windows NT-2000"},
                    NameRow{2, 4, 0, NONE, "Windows NT"}, NameRow{2, 3, 51, NONE, "Windows NT"},
                    NameRow{2, 4, 90, NONE, "Windows NT"},
                    /* Unnamed: later NT releases, odd minors, other families. */
                    NameRow{2, 6, 0, WORKSTATION, ""}, NameRow{2, 6, 1, SERVER, ""},
                    NameRow{2, 10, 0, WORKSTATION, ""}, NameRow{2, 5, 3, WORKSTATION, ""},
                    NameRow{1, 4, 1, NONE, ""}, NameRow{1, 5, 0, NONE, ""},
                    NameRow{3, 5, 1, NONE, ""}),
    [](const testing::TestParamInfo<NameRow> &p) { return RowName(p.param); });

/* Only the extended record has a product type: without it, 5.2 is the server. */
TEST_F(Report, WithTheBasicRecordOnlyFivePointTwoIsTheServer)
{
	Version(2, 5, 2);
	fake::state.productType = WORKSTATION;
	fake::state.acceptsEx = false;
	EXPECT_EQ(VersionName(), "Windows NT-Server 2003");
	EXPECT_EQ(fake::state.versionSizesSeen, (std::vector<std::uint32_t>{156, 148}));
}

TEST_F(Report, Win32sPrintsItsOwnLineAndLeavesTheNameEmpty)
{
	Version(0, 3, 10);
	char name[OS_NAME_SIZE] = "stale";
	EXPECT_EQ(Capture([&] { GetVersionOS(name); }), "Microsoft Win32s\n");
	EXPECT_STREQ(name, "");
}

TEST_F(Report, DriveDesignatorsOfEveryFormGiveTheSameFigure)
{
	fake::state.disks["C:\\"].freeToCaller = 3 * 1073741824ull;
	EXPECT_DOUBLE_EQ(AvailableDiskSize('C'), 3.0);
	EXPECT_DOUBLE_EQ(AvailableDiskSize('c'), 3.0);
	EXPECT_DOUBLE_EQ(AvailableDiskSize(3), 3.0);
	EXPECT_EQ(fake::Calls("GetDiskFreeSpaceExA"), Calls(3, "GetDiskFreeSpaceExA(C:\\)"));
	/* The entry is looked up afresh on every call. */
	EXPECT_EQ(fake::Calls("GetProcAddress"), Calls(3, "GetProcAddress(0x7C800000,GetDiskFreeSpaceExA)"));

	fake::state.disks["A:\\"].freeToCaller = 1073741824ull / 4;
	fake::state.disks["Z:\\"].freeToCaller = 1073741824ull / 2;
	EXPECT_DOUBLE_EQ(AvailableDiskSize(1), 0.25);
	EXPECT_DOUBLE_EQ(AvailableDiskSize(26), 0.5);
}

TEST_F(Report, DesignatorsThatNameNoDriveGiveMinusOneWithoutAsking)
{
	for (int c : {int('@'), int('['), int('`'), int('{'), int('0'), int('9'), int('\\'), int('?'), 0, 27, 127, 0x81, 0xC1, 0xE3, 0xFF})
		EXPECT_DOUBLE_EQ(AvailableDiskSize(static_cast<char>(c)), -1.0) << c;
	EXPECT_TRUE(fake::state.calls.empty());
}

TEST_F(Report, FreeSpaceAboveFourGigabytesUsesAllSixtyFourBits)
{
	fake::Disk &d = fake::state.disks["D:\\"];
	d.freeToCaller = 0x1234567890ull;        /* free to this user */
	d.totalFree = 0x7FFFFFFFFFull;           /* not the figure: quotas */
	d.total = 0xFFFFFFFFFFull;
	EXPECT_DOUBLE_EQ(AvailableDiskSize('d'), 0x1234567890ull / GB);
}

TEST_F(Report, FailedQueryGivesZero)
{
	fake::state.disks["E:\\"].ok = false;
	EXPECT_DOUBLE_EQ(AvailableDiskSize('E'), 0.0);
	EXPECT_DOUBLE_EQ(AvailableDiskSize('Q'), 0.0); /* no such drive */
	fake::state.hasFreeSpaceEx = false;
	EXPECT_DOUBLE_EQ(AvailableDiskSize('E'), 0.0);
	EXPECT_EQ(fake::Calls("GetDiskFreeSpaceA"), (Calls{"GetDiskFreeSpaceA(E:\\)"}));
}

TEST_F(Report, WithoutTheSixtyFourBitEntryClustersAreCountedWithoutOverflow)
{
	fake::state.hasFreeSpaceEx = false;
	fake::Disk &d = fake::state.disks["C:\\"];
	d.sectorsPerCluster = 64;
	d.bytesPerSector = 512;
	d.freeClusters = 3000000;
	d.totalClusters = 4000000;
	EXPECT_DOUBLE_EQ(AvailableDiskSize('C'), 64.0 * 512.0 * 3000000.0 / GB);
	EXPECT_TRUE(fake::Calls("GetDiskFreeSpaceExA").empty());

	d.sectorsPerCluster = 0xFFFFFFFFu; /* each factor at its 32-bit limit */
	d.bytesPerSector = 0xFFFFFFFFu;
	d.freeClusters = 0xFFFFFFFFu;
	EXPECT_DOUBLE_EQ(AvailableDiskSize('C'), 4294967295.0 * 4294967295.0 * 4294967295.0 / GB);
}

static std::string
DiskLines(const std::string &cwd)
{
	fake::state.cwd = cwd;
	return Capture([] { WriteDiskSpace(); });
}

class ReportDisks : public FakeTest {
protected:
	void SetUp() override
	{
		FakeTest::SetUp();
		fake::state.disks["C:\\"].freeToCaller = 10 * 1073741824ull + 1073741824ull / 2;
		fake::state.disks["D:\\"].freeToCaller = 1073741824ull / 4;
	}
};

TEST_F(ReportDisks, CurrentDriveCIsOneLine)
{
	EXPECT_EQ(DiskLines("C:\\Users\\me"), "Disk C=10.500000 GB\n");
}

TEST_F(ReportDisks, LowerCaseCIsReportedTwice)
{
	EXPECT_EQ(DiskLines("c:\\work"), "Disk c=10.500000 GB\nDisk C=10.500000 GB\n");
}

TEST_F(ReportDisks, OtherDriveIsFollowedByDriveC)
{
	EXPECT_EQ(DiskLines("D:\\"), "Disk D=0.250000 GB\nDisk C=10.500000 GB\n");
	fake::state.disks["C:\\"].ok = false;
	EXPECT_EQ(DiskLines("D:\\"), "Disk D=0.250000 GB\nDisk C=0.000000 GB\n");
}

TEST_F(ReportDisks, NetworkShareHasNoDriveLetter)
{
	EXPECT_EQ(DiskLines("\\\\server\\share\\dir"),
	          "Disk \\=-1.000000 GB\nDisk C=10.500000 GB\n");
}

TEST_F(ReportDisks, UnreadableDirectoryIsDriveQuestionMark)
{
	fake::state.cwdFails = true;
	EXPECT_EQ(DiskLines("D:\\"), "Disk ?=-1.000000 GB\nDisk C=10.500000 GB\n");
}

/*
 * Windows counts the path limit in UTF-16 units, the 8-bit entry in bytes:
 * in a double-byte page (932 here: "\x93\xfa" is one character) a folder of
 * 153 characters takes 303 bytes, more than the buffer holds.
 */
TEST_F(ReportDisks, DeepFolderInADoubleBytePageNamesItsDrive)
{
	std::string deep = "D:\\";
	for (int i = 0; i < 150; i++)
		deep += "\x93\xfa";
	EXPECT_EQ(DiskLines(deep), "Disk D=0.250000 GB\nDisk C=10.500000 GB\n");
	EXPECT_EQ(DiskLines(deep.substr(0, 259)), "Disk D=0.250000 GB\nDisk C=10.500000 GB\n");
}

class ReportLines : public ReportDisks {
protected:
	void SetUp() override
	{
		ReportDisks::SetUp();
		fake::state.title = "cmd";
		fake::state.consoleWindow = 131218;
		fake::state.foreground = 65552;
		Version(2, 5, 1);
	}
};

TEST_F(ReportLines, PrintsHandlesNameAndDisksInOrder)
{
	fake::state.cwd = "D:\\games";
	EXPECT_EQ(RunOptions({"/i"}), "hwnd console=131218\n"
	                              "hwnd foreground=65552\n"
	                              "OS version=Windows NT-XP\n"
	                              "Disk D=0.250000 GB\n"
	                              "Disk C=10.500000 GB\n");
	EXPECT_EQ(fake::state.title, "cmd");
}

TEST_F(ReportLines, LaterSystemsAndDriveCGiveNoNameAndOneDisk)
{
	Version(2, 6, 2);
	fake::state.cwd = "C:\\";
	EXPECT_EQ(RunOptions({"-I"}), "hwnd console=131218\n"
	                              "hwnd foreground=65552\n"
	                              "OS version=\n"
	                              "Disk C=10.500000 GB\n");
}

TEST_F(ReportLines, Win32sLineComesBetweenHandlesAndName)
{
	Version(0, 3, 10);
	fake::state.cwd = "C:\\";
	fake::state.title = "";
	EXPECT_EQ(RunOptions({"/i"}), "hwnd console=0\n"
	                              "hwnd foreground=65552\n"
	                              "Microsoft Win32s\n"
	                              "OS version=\n"
	                              "Disk C=10.500000 GB\n");
}

TEST_F(ReportLines, NothingCarriesOverBetweenReports)
{
	fake::state.cwd = "C:\\";
	std::string first = RunOptions({"/i"});
	fake::state.acceptsEx = fake::state.acceptsBasic = false;
	std::string second = RunOptions({"/i"});
	EXPECT_NE(first.find("OS version=Windows NT-XP\n"), std::string::npos);
	EXPECT_NE(second.find("OS version=\n"), std::string::npos) << second;
}
