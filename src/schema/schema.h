#pragma once

#include <string>

#include "store/status.h"

// The configurator's database: the three tables with their indexes, made the
// way every first start makes them.

// Creates the database file at `path` with the tables `telefony`, `config`
// and `raporty` and the indexes of `telefony`. The whole schema is built
// under a temporary name of this process and moved into place only if no
// database is there yet, so an interrupted first start never leaves a
// half-made database behind, and of two first starts at once the second one
// keeps what the first has already saved (it returns Ok and leaves the file
// that is there).
store::Status CreateConfiguratorDatabase(const std::string& path);
