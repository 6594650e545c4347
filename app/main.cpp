#include "app/Interface.h"

int main(int argc, char **argv) { return Interface_main(argc, argv); }
