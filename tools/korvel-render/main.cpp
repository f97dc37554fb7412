#include "app.h"
#include "pending_file.h"

#include <iostream>

int main(int argc, char** argv)
{
    korvel::render::removePendingFilesOnSignals();
    return korvel::render::runRenderer({argv + 1, argv + argc}, std::cout, std::cerr);
}
