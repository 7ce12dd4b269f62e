// veskactl's commands: one small function each, found through one table.
#pragma once

#include <span>

#include "command_line.h"

namespace veskactl {

std::span<const CommandDef> commandTable();

}  // namespace veskactl
