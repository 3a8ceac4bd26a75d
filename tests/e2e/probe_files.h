/* What the probes share: their results go to files the harness reads. */
#ifndef OSTRIVEL_PROBE_FILES_H
#define OSTRIVEL_PROBE_FILES_H

#include <cstdio>

/* DATA, N bytes, as the whole of PATH. */
static inline bool
WriteFileBytes(const char *path, const char *data, size_t n)
{
	FILE *f = std::fopen(path, "wb");
	if (f == nullptr)
		return false;
	bool ok = std::fwrite(data, 1, n, f) == n;
	return std::fclose(f) == 0 && ok;
}

#endif
