// Includes from below only: the check must let this file pass.
#pragma once

#include "core/time_source.h"
#include <vector>
