#include "app/cli.h"

int main(int argc, char** argv) { return psxdig::RunMain(argc, argv); }
