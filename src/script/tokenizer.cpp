#include "script/tokenizer.h"
