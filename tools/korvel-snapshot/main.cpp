#include "snapshot.h"

#include <iostream>

int main(int argc, char** argv)
{
    return korvel::snapshot::runSnapshot({argv + 1, argv + argc}, std::cout, std::cerr);
}
