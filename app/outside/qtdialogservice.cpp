#include "qtdialogservice.h"
