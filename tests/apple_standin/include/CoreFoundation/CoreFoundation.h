// Stand-in for the framework header of this name: see ../apple_api.h.
#pragma once
#include "../apple_api.h"
