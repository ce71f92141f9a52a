// Reaches up into a front end from the layer both front ends share: the check
// must name this line.
#pragma once

#include "cli/link_test.h"
