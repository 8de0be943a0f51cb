#include "inputfilter.h"
