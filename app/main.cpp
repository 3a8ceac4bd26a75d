#include "app/ostrivel.h"

int
main(int argc, char **argv)
{
	if (argc < 2)
		Usage();
	else
		HandleOptions(argc, argv);
	return 0;
}
