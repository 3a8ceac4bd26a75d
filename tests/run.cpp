#include "run.h"

#include "app/ostrivel.h"

int ostrivel_main(int argc, char **argv); /* app/main.cpp, renamed for tests */

static std::vector<char *>
Argv(std::vector<std::string> &storage)
{
	std::vector<char *> argv;
	for (std::string &s : storage)
		argv.push_back(&s[0]);
	argv.push_back(nullptr);
	return argv;
}

std::string
RunOptions(const std::vector<std::string> &args)
{
	std::vector<std::string> storage{"ostrivel"};
	storage.insert(storage.end(), args.begin(), args.end());
	std::vector<char *> argv = Argv(storage);
	return Capture([&] { HandleOptions(static_cast<int>(storage.size()), argv.data()); });
}

std::string
RunMain(const std::vector<std::string> &args, int *status)
{
	std::vector<std::string> storage{"ostrivel"};
	storage.insert(storage.end(), args.begin(), args.end());
	std::vector<char *> argv = Argv(storage);
	int rc = -1;
	std::string out =
	    Capture([&] { rc = ostrivel_main(static_cast<int>(storage.size()), argv.data()); });
	if (status != nullptr)
		*status = rc;
	return out;
}

std::string
RunTyped(const std::vector<std::string> &ansi, const std::vector<std::u16string> &typed)
{
	fake::state.hasWideArgs = !typed.empty();
	fake::state.wideArgs = {u"ostrivel"};
	fake::state.wideArgs.insert(fake::state.wideArgs.end(), typed.begin(), typed.end());
	return RunOptions(ansi);
}
