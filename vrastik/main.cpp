#include "generator.h"

int main(int argc, char **argv)
{
    return runvrastik(argc, argv);
}
