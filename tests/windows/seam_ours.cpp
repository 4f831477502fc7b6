// Our own definitions, as Linux builds them, compiled for Windows.
#define TQX_OWN_MMSYSTEM
#include "midi/platform/mmsystem.h"
#include "seam_names.h"

std::vector<SeamEntry> OurSeam() { TQX_SEAM_TABLE }
