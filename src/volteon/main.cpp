// The program's entry.
#include "src/volteon/volteon.h"

int main(int argc, char** argv) { return sky::RunMain(argc, argv, [] { return CreateApplication(); }); }
