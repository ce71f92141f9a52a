// Reaches beside it into the generators: the check must name this line.

#include "sim/cmr_schedule.h"
#include "decoders/dc_packet.h"
