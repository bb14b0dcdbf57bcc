// Finding LAN modules: the broadcast listing (with or without the check that
// a module belongs to a reader), the search by module name, and the
// resolution of address texts that name a module.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "lan/adapters.h"

namespace qlmkv::lan {

// Every module that answers on any adapter within `collect` (a window that
// restarts with every accepted reply), sorted byte-wise, each once. With
// `readerCheck`, only modules whose record 2 names a reader type, and those
// with a name by their bracketed name alone.
std::vector<std::string> ListModules(std::chrono::milliseconds collect, bool readerCheck);

// The module with automatic addressing named `name` ("[NAME]") on the
// current adapter of `adapters`: "a.b.c.d-port", or empty after `limit`.
std::string SearchByName(const std::string& localAddress, const std::string& name, std::chrono::milliseconds limit);

// A text holding "[NAME]" becomes the named module's "a.b.c.d-port" (empty
// when none answers on any adapter); any other text is returned as it is.
std::string ResolveAddress(const std::string& text, AdapterChoice& adapters);

}  // namespace qlmkv::lan
