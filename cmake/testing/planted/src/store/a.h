#pragma once

#include "core/b.h"
