#pragma once

#include "config/note_name.h"
