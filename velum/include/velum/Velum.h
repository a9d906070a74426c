// The whole interface of the Velum document-object library.
#pragma once

#include "velum/VelumString.h"
#include "velum/Collections.h"
#include "velum/Nodes.h"
#include "velum/Initializer.h"
#include "velum/Serializer.h"
#include "velum/Parser.h"
