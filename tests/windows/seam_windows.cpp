// Windows' own header, as the Windows build takes it.
#include <windows.h>
#include <mmsystem.h>

#include <cstddef>

#include "seam_names.h"

std::vector<SeamEntry> WindowsSeam() { TQX_SEAM_TABLE }
