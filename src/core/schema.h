#pragma once

#include <string>

#include "store/status.h"

// The configurator's database: the three tables with their indexes, made the
// way every first start makes them.

// Creates the database file at `path` with the tables `telefony`, `config`
// and `raporty` and the indexes of `telefony`. The whole schema is built
// under a temporary name and renamed into place, so an interrupted first
// start never leaves a half-made database behind.
store::Status CreateConfiguratorDatabase(const std::string& path);
