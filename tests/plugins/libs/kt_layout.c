/* Compiled on its own as C and C++ for a 32-bit target: the header's compile-time checks then
 * hold the framework structure to the byte offsets of the published table. */
#include "kov_plugin.h"

int kt_layout_checked;
