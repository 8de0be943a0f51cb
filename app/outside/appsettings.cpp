#include "appsettings.h"
