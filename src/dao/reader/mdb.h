#pragma once
// libmdb, included the one way that compiles as C++: its header includes
// glib inside extern "C", which C++ cannot take; glib first makes that inner
// include a no-op.
#include <glib.h>
#include <mdbtools.h>
