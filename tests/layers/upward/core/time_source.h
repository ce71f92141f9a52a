// Reaches up into the ports: the check must name this line.
#pragma once

#include "ports/clock.h"
