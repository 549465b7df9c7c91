#include "app/modMain.h"
namespace brevan {
int Main(int, char**) { return 0; }
} // namespace brevan
