#include "workarea.h"
