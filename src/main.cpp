#include "modMain.h"

int main(int argc, char** argv) { return brevan::Main(argc, argv); }
