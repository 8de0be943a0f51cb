#include "pathsplitter.h"
