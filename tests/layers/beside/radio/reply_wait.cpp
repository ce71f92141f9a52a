// Includes from below only: the check must let this file pass.
#include "decoders/dc_packet.h"
