#include "shellservice.h"
