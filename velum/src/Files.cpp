#include "velum/Velum.h"
