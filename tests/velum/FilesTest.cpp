#include "VelumTest.h"

#include <gtest/gtest.h>
