#include "script/codeedit.h"
