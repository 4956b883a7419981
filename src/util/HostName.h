#pragma once

#include <string>

namespace host_name {

// An internationalised host name in its ASCII form ("xn--..."); empty when
// it cannot be converted.
std::string asciiHost(const std::string& host);

}  // namespace host_name
