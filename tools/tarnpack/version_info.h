// Version information (VS_VERSIONINFO) as Explorer shows it: built from
// tarnpack's options, and read back for --inspect.
#pragma once

#include "pe_resources.h"

#include <string>
#include <utility>
#include <vector>

namespace tarnpack {

// One to four numbers 0-65535 separated by dots; empty when text is not that.
std::vector<uint16_t> versionNumbers(const std::string& text);

// The whole VS_VERSIONINFO block for the request, in US English and UTF-16.
Bytes buildVersionInfo(const ResourceRequest& request);

// The key and value of every string of a VS_VERSIONINFO block.
std::vector<std::pair<std::string, std::string>> versionStrings(const Bytes& info);

} // namespace tarnpack
