#include "filefind.h"
